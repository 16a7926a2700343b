#include "terminal/DownloadLog.h"

#include "resources/FaultTexts.h"
#include "resources/OperatorTexts.h"
#include "terminal/DateRange.h"
#include "terminal/ExportFile.h"
#include "terminal/ExportWriter.h"

namespace {

constexpr int kMachine = 1;

void FileNotOpened(TransferContext& ctx)
{
    ctx.progress.ShowNotification(optext::kDataStatusTitle, optext::kFileNotOpenedText);
}

} // namespace

bool DownloadLog(const CConnServer& record, const DownloadRange& range, MoveRecList& movements,
                 TransferContext& ctx)
{
    movements.clear();
    if (ctx.Connected == 0) {
        ctx.progress.ReportStatus(progress::kNotConnected);
        ctx.progress.ShowNotification(optext::kNotConnectedTitle, optext::kNotConnectedText);
        return false;
    }

    const QString exportPath =
        MakeExportPath(record.Name, record.FilePath, ctx.clock, ctx.exeFolder);
    PrepareExportFile(exportPath);
    ExportWriter exportFile;
    if (!exportFile.Open(exportPath))
        FileNotOpened(ctx);

    CTerminalLink& link = ctx.link;
    const bool gate = link.PreparePunchRead(kMachine);
    link.SetTerminalActive(kMachine, false);
    if (!link.LoadPunchLog(kMachine)) {
        int code = 0;
        link.FetchErrorCode(code);
        exportFile.Discard();
        // Leave the terminal usable for the staff's punches.
        link.SetTerminalActive(kMachine, true);
        ctx.messages.Show(code != 0 ? faulttext::kReadFailed + QString::number(code)
                                    : faulttext::kNoData);
        return false;
    }

    const DayFilter filter(range);
    CAttLogRec punch;
    if (gate) {
        while (link.NextPunch(kMachine, punch)) {
            ++punch.Seq;
            if (!filter.Keeps(punch))
                continue;
            exportFile.WriteLine(punch);
            movements.append(MovementOf(punch));
        }
        if (link.StreamBroken()) {
            movements.clear();
            exportFile.Discard();
            ctx.messages.Show(faulttext::kStreamBroken.arg(punch.Seq).arg(link.LastFailure()));
            return false;
        }
    }

    if (exportFile.IsOpen() && !exportFile.Commit())
        FileNotOpened(ctx);
    // The file deleted is the one written, named after the record (not after
    // the combo's selection, which may name another device).
    if (record.IsDeleteFile == QLatin1String("1"))
        DeleteExportFile(exportPath, ctx.messages);

    link.SetTerminalActive(kMachine, true);
    ctx.progress.ReportStatus(progress::kDownloaded);
    ctx.progress.ShowNotification(optext::kDataStatusTitle, optext::kDownloadedText);
    return true;
}
