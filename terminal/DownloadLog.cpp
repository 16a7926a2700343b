#include "terminal/DownloadLog.h"

#include "terminal/DateRange.h"
#include "terminal/DateTexts.h"
#include "terminal/ExportFile.h"
#include "terminal/ExportWriter.h"

#include <array>

namespace {

constexpr int kMachine = 1;

// "2024-03-05 08:07:09 " as the movement's Date text.
QString MovementDate(int year, int month, int day, int hour, int minute, int second)
{
    char buffer[2 * datetext::kMaxTextBytes + 1];
    int n = datetext::WriteYearMonthDay(buffer, year, month, day);
    buffer[n++] = ' ';
    n += datetext::WriteTime(buffer + n, hour, minute, second);
    return QString::fromLatin1(buffer, n);
}

// The decimal text of a code; the usual small codes share one text each.
QString CodeText(int code)
{
    static const std::array<QString, 16> small = [] {
        std::array<QString, 16> texts;
        for (int i = 0; i < 16; ++i)
            texts[std::size_t(i)] = QString::number(i);
        return texts;
    }();
    return code >= 0 && code < 16 ? small[std::size_t(code)] : QString::number(code);
}

void FileNotOpened(TransferContext& ctx)
{
    ctx.progress.ShowNotification(progress::kDataStatusTitle, progress::kFileNotOpenedText);
}

} // namespace

bool DownloadLog(const CConnServer& record, const DownloadRange& range, const QString& selectedName,
                 MoveRecList& movements, TransferContext& ctx)
{
    Q_UNUSED(selectedName); // the file deleted is the one written, named after record.Name
    movements.clear();
    if (ctx.Connected == 0) {
        ctx.progress.ReportStatus(progress::kNotConnected);
        ctx.progress.ShowNotification(progress::kNotConnectedTitle, progress::kNotConnectedText);
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
        ctx.messages.Show(code != 0 ? kReadFailedMessage + QString::number(code) : kNoDataMessage);
        return false;
    }

    const DayFilter filter(range);
    qint64 seq = 0;
    if (gate) {
        QString cardNb;
        int code1 = 0, code2 = 0, year = 0, month = 0, day = 0;
        int hour = 0, minute = 0, second = 0, code3 = 0;
        while (link.NextPunch(kMachine, cardNb, code1, code2, year, month, day, hour, minute,
                              second, code3)) {
            ++seq;
            if (!filter.Keeps(year, month, day, hour, minute, second))
                continue;
            exportFile.WriteLine(cardNb, code1, code2, year, month, day, hour, minute, second,
                                 code3);
            movements.append(MoveRec{cardNb, MovementDate(year, month, day, hour, minute, second),
                                     CodeText(code2)});
        }
        if (link.StreamBroken()) {
            movements.clear();
            exportFile.Discard();
            ctx.messages.Show(kStreamBrokenMessage.arg(seq).arg(link.LastFailure()));
            return false;
        }
    }

    if (exportFile.IsOpen() && !exportFile.Commit())
        FileNotOpened(ctx);
    if (record.IsDeleteFile == QLatin1String("1"))
        DeleteExportFile(exportPath, ctx.messages);

    link.SetTerminalActive(kMachine, true);
    ctx.progress.ReportStatus(progress::kDownloaded);
    ctx.progress.ShowNotification(progress::kDataStatusTitle, progress::kDownloadedText);
    return true;
}
