#include "terminal/DownloadLog.h"

#include "resources/FaultTexts.h"
#include "resources/OperatorTexts.h"
#include "terminal/DateRange.h"
#include "terminal/ExportFile.h"
#include "terminal/ExportWriter.h"
#include "terminal/Protocol.h"
#include "terminal/ShownText.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

namespace {

// How often onPunches hears of the progress: every so many punches, and at
// least this often while punches arrive.
constexpr qint64 kReportEveryPunches = 1000;
constexpr int kReportEveryMs = 100;

void FileNotOpened(TransferContext& ctx)
{
    ctx.progress.ShowNotification(optext::kDataStatusTitle, optext::kFileNotOpenedText);
}

// Reads the punches, passing each to keep; false when onPunches cancelled the
// download.
template <typename Keep> bool ReadPunches(CTerminalLink& link, TransferContext& ctx, Keep keep)
{
    DownloadReport& report = ctx.download;
    CAttLogRec punch;
    QDeadlineTimer nextReport(kReportEveryMs);
    while (link.NextPunch(kMachineNumber, punch)) {
        ++punch.Seq;
        ++report.received;
        keep(punch);
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
        report.stop = DownloadReport::Stop::NotConnected;
        ctx.progress.ReportStatus(progress::kNotConnected);
        ctx.progress.ShowNotification(optext::kNotConnectedTitle, optext::kNotConnectedText);
        return false;
    }

    // The lines go to a temporary file that replaces the export file only when
    // the download completes, so nothing is prepared up front. A folder made
    // only to try the export is removed again.
    const QString folder = ExportFolder(record.FilePath, ctx.exeFolder);
    const bool tryOnly = ctx.exportMode == ExportMode::Try;
    const auto removeTriedFolder =
        qScopeGuard([tryOnly, folder, made = !QFileInfo::exists(folder)] {
            if (tryOnly && made)
                QDir().rmdir(folder);
        });
    const QString exportPath =
        MakeExportPath(record.Name, record.FilePath, ctx.clock, ctx.exeFolder);
    ExportWriter exportFile;
    if (!exportFile.Open(exportPath)) {
        FileNotOpened(ctx);
        report.exportProblem =
            QStringLiteral("cannot open the export file %1: %2")
                .arg(QDir::toNativeSeparators(exportPath), exportFile.ErrorText());
    }

    CTerminalLink& link = ctx.link;
    // A failure of the terminal: its code and text in a message, nothing
    // exported or queued, and the terminal enabled again while the link
    // works (where it does not, the terminal enables itself as the session
    // ends). A refused PREPARE comes before the terminal was disabled.
    const auto fail = [&](DownloadReport::Stop stop, const QString& message) {
        report.stop = stop;
        movements.clear();
        exportFile.Discard();
        report.exportKept = QFile::exists(exportPath);
        if (!message.isEmpty())
            ctx.messages.Show(message);
        if (link.IsOpen())
            link.SetTerminalActive(kMachineNumber, true);
        return false;
    };
    const auto refusal = [&] {
        link.FetchErrorCode(report.errorCode);
        return report.errorCode != 0 ? faulttext::kReadFailed + QString::number(report.errorCode)
                                     : faulttext::kNoData;
    };
    if (!link.PreparePunchRead(kMachineNumber))
        return fail(DownloadReport::Stop::PrepareRefused, refusal());
    // A terminal that will not be disabled still gives the snapshot that
    // LOAD takes; punches made meanwhile wait in its log for the next run.
    link.SetTerminalActive(kMachineNumber, false);
    if (!link.LoadPunchLog(kMachineNumber)) {
        report.announced = link.AnnouncedCount();
        return fail(DownloadReport::Stop::LoadRefused, refusal());
    }
    report.announced = link.AnnouncedCount();

    const DayFilter filter(range);
    const bool read = ReadPunches(link, ctx, [&](const CAttLogRec& punch) {
        if (!filter.Keeps(punch)) {
            if (!IsValidPunchTime(punch.Year, punch.Month, punch.Day, punch.Hour, punch.Minute,
                                  punch.Second))
                ++report.impossible;
            return;
        }
        ++report.kept;
        exportFile.WriteLine(punch);
        movements.append(punch);
    });
    if (link.StreamBroken()) {
        link.FetchErrorCode(report.errorCode);
        const QString& text = report.errorCode == ztp::local::kNotAuthentic
                                  ? faulttext::kStreamNotAuthentic
                                  : faulttext::kStreamBroken;
        // What the operator does next comes first; the technical line follows.
        return fail(DownloadReport::Stop::Broken,
                    optext::kTerminalBrokeOff + QStringLiteral("\n\n") +
                        text.arg(report.received).arg(ShownText(link.LastFailure())));
    }
    if (!read)
        return fail(DownloadReport::Stop::Cancelled, {});

    if (tryOnly) {
        exportFile.Discard();
    } else if (exportFile.IsOpen()) {
        if (exportFile.Commit()) {
            report.exportFile = exportPath;
        } else {
            FileNotOpened(ctx);
            report.exportProblem =
                QStringLiteral("cannot write the export file %1: %2")
                    .arg(QDir::toNativeSeparators(exportPath), exportFile.ErrorText());
        }
    }
    // The file deleted is the one written, named after the record (not after
    // the combo's selection, which may name another device).
    if (!report.exportFile.isEmpty() && record.IsDeleteFile == QLatin1String("1")) {
        DeleteExportFile(exportPath, ctx.messages);
        report.exportDeleted = true;
    }

    // A terminal that refuses to be enabled again is left by closing the
    // session, which enables it.
    if (!link.SetTerminalActive(kMachineNumber, true) && link.IsOpen())
        link.CloseLink();
    // An export file not written is no success: its notification was the last word.
    if (!report.exportProblem.isEmpty())
        return true;
    ctx.progress.ReportStatus(progress::kDownloaded);
    ctx.progress.ShowNotification(optext::kDataStatusTitle, optext::kDownloadedText);
    return true;
}
