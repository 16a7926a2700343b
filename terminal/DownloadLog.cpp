#include "terminal/DownloadLog.h"

#include "resources/FaultTexts.h"
#include "resources/OperatorTexts.h"
#include "terminal/DateRange.h"
#include "terminal/ExportFile.h"
#include "terminal/ExportWriter.h"
#include "terminal/ShownText.h"

#include <QDeadlineTimer>

namespace {

constexpr int kMachine = 1;
// How often onPunches hears of the progress: every so many punches, and at
// least this often while punches arrive.
constexpr qint64 kReportEveryPunches = 1000;
constexpr int kReportEveryMs = 100;

void FileNotOpened(TransferContext& ctx)
{
    ctx.progress.ShowNotification(optext::kDataStatusTitle, optext::kFileNotOpenedText);
}

// Reads the punches, passing those in range to keep; false when onPunches
// cancelled the download.
template <typename Keep> bool ReadPunches(CTerminalLink& link, TransferContext& ctx, Keep keep)
{
    DownloadReport& report = ctx.download;
    CAttLogRec punch;
    QDeadlineTimer nextReport(kReportEveryMs);
    while (link.NextPunch(kMachine, punch)) {
        ++punch.Seq;
        ++report.received;
        if (keep(punch))
            ++report.kept;
        if (ctx.onPunches &&
            (report.received % kReportEveryPunches == 0 || nextReport.hasExpired())) {
            if (!ctx.onPunches(report.received, report.announced))
                return false;
            nextReport.setRemainingTime(kReportEveryMs);
        }
    }
    // Once at the end, also after a break: the caller sees the last count.
    return !ctx.onPunches || ctx.onPunches(report.received, report.announced);
}

} // namespace

bool DownloadLog(const CConnServer& record, const DownloadRange& range, MovementList& movements,
                 TransferContext& ctx)
{
    movements.clear();
    ctx.download = DownloadReport();
    DownloadReport& report = ctx.download;
    if (ctx.Connected == 0) {
        ctx.progress.ReportStatus(progress::kNotConnected);
        ctx.progress.ShowNotification(optext::kNotConnectedTitle, optext::kNotConnectedText);
        return false;
    }

    // The lines go to a temporary file that replaces the export file only when
    // the download completes, so nothing is prepared up front.
    const QString exportPath =
        MakeExportPath(record.Name, record.FilePath, ctx.clock, ctx.exeFolder);
    ExportWriter exportFile;
    if (!exportFile.Open(exportPath)) {
        FileNotOpened(ctx);
        report.exportProblem = QStringLiteral("cannot open the export file %1: %2")
                                   .arg(exportPath, exportFile.ErrorText());
    }

    CTerminalLink& link = ctx.link;
    const bool gate = link.PreparePunchRead(kMachine);
    link.SetTerminalActive(kMachine, false);
    // From here every way out enables the terminal again. Where the link is
    // lost this cannot reach the terminal, which then enables itself as its
    // session ends.
    const auto fail = [&] {
        movements.clear();
        exportFile.Discard();
        link.SetTerminalActive(kMachine, true);
        return false;
    };
    if (!link.LoadPunchLog(kMachine)) {
        report.announced = link.AnnouncedCount();
        int code = 0;
        link.FetchErrorCode(code);
        ctx.messages.Show(code != 0 ? faulttext::kReadFailed + QString::number(code)
                                    : faulttext::kNoData);
        return fail();
    }
    report.announced = link.AnnouncedCount();

    if (gate) {
        const DayFilter filter(range);
        const bool read = ReadPunches(link, ctx, [&](const CAttLogRec& punch) {
            if (!filter.Keeps(punch))
                return false;
            exportFile.WriteLine(punch);
            movements.append(MovementOf(punch));
            return true;
        });
        if (link.StreamBroken()) {
            ctx.messages.Show(
                faulttext::kStreamBroken.arg(report.received).arg(ShownText(link.LastFailure())));
            return fail();
        }
        if (!read) {
            report.cancelled = true;
            return fail();
        }
    }

    if (exportFile.IsOpen() && !exportFile.Commit()) {
        FileNotOpened(ctx);
        report.exportProblem = QStringLiteral("cannot write the export file %1: %2")
                                   .arg(exportPath, exportFile.ErrorText());
    }
    // The file deleted is the one written, named after the record (not after
    // the combo's selection, which may name another device).
    if (record.IsDeleteFile == QLatin1String("1"))
        DeleteExportFile(exportPath, ctx.messages);

    link.SetTerminalActive(kMachine, true);
    ctx.progress.ReportStatus(progress::kDownloaded);
    ctx.progress.ShowNotification(optext::kDataStatusTitle, optext::kDownloadedText);
    return true;
}
