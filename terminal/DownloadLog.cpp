#include "terminal/DownloadLog.h"

#include "resources/FaultTexts.h"
#include "resources/OperatorTexts.h"
#include "terminal/DateRange.h"
#include "terminal/ExportFile.h"
#include "terminal/ExportWriter.h"
#include "terminal/Protocol.h"
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
    if (!ctx.link.IsOpen()) {
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
    // A failure of the terminal: its code and text in a message, nothing
    // exported or queued, and the terminal enabled again while the link
    // works (where it does not, the terminal enables itself as the session
    // ends). A refused PREPARE comes before the terminal was disabled.
    const auto fail = [&](const QString& message) {
        movements.clear();
        exportFile.Discard();
        if (!message.isEmpty())
            ctx.messages.Show(message);
        if (link.IsOpen())
            link.SetTerminalActive(kMachine, true);
        return false;
    };
    const auto refusal = [&] {
        int code = 0;
        link.FetchErrorCode(code);
        return code != 0 ? faulttext::kReadFailed + QString::number(code) : faulttext::kNoData;
    };
    if (!link.PreparePunchRead(kMachine))
        return fail(refusal());
    // A terminal that will not be disabled still gives the snapshot that
    // LOAD takes; punches made meanwhile wait in its log for the next run.
    link.SetTerminalActive(kMachine, false);
    if (!link.LoadPunchLog(kMachine)) {
        report.announced = link.AnnouncedCount();
        return fail(refusal());
    }
    report.announced = link.AnnouncedCount();

    const DayFilter filter(range);
    const bool read = ReadPunches(link, ctx, [&](const CAttLogRec& punch) {
        if (!filter.Keeps(punch))
            return false;
        exportFile.WriteLine(punch);
        movements.append(punch);
        return true;
    });
    if (link.StreamBroken()) {
        int code = 0;
        link.FetchErrorCode(code);
        const QString& text = code == ztp::local::kNotAuthentic ? faulttext::kStreamNotAuthentic
                                                                : faulttext::kStreamBroken;
        return fail(text.arg(report.received).arg(ShownText(link.LastFailure())));
    }
    if (!read) {
        report.cancelled = true;
        return fail({});
    }

    if (exportFile.IsOpen()) {
        if (exportFile.Commit()) {
            report.exportFile = exportPath;
        } else {
            FileNotOpened(ctx);
            report.exportProblem = QStringLiteral("cannot write the export file %1: %2")
                                       .arg(exportPath, exportFile.ErrorText());
        }
    }
    // The file deleted is the one written, named after the record (not after
    // the combo's selection, which may name another device).
    if (record.IsDeleteFile == QLatin1String("1")) {
        DeleteExportFile(exportPath, ctx.messages);
        report.exportDeleted = !report.exportFile.isEmpty();
    }

    // A terminal that refuses to be enabled again is left by closing the
    // session, which enables it.
    if (!link.SetTerminalActive(kMachine, true) && link.IsOpen())
        link.CloseLink();
    ctx.progress.ReportStatus(progress::kDownloaded);
    ctx.progress.ShowNotification(optext::kDataStatusTitle, optext::kDownloadedText);
    return true;
}
