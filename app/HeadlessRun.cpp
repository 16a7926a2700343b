#include "app/HeadlessRun.h"

#include "access/ConsolePasswordPrompt.h"
#include "app/CommandLine.h"
#include "app/DriverWarnings.h"
#include "app/LastSuccess.h"
#include "app/RunMetrics.h"
#include "app/RunRecordStore.h"
#include "app/StartRun.h"
#include "platform/Clock.h"
#include "platform/InstallLayout.h"
#include "platform/MessageSink.h"
#include "platform/NotificationSink.h"
#include "platform/Progress.h"
#include "platform/RegistryStore.h"
#include "terminal/NetTerminalLink.h"

#include <QElapsedTimer>

#include <cstdio>

void WriteRunLine(const QString& line)
{
    WriteProgramLine(stderr, line);
}

namespace {

// A metrics file that cannot be written costs one warning; the run's outcome stays.
void WriteMetrics(const QString& path, const RunReport& report, const RegistryStore& registry,
                  const QDateTime& endedAt, double seconds)
{
    QList<std::optional<QDateTime>> lastSuccess;
    for (const DeviceOutcome& outcome : report.outcomes)
        lastSuccess.append(ReadLastSuccess(registry, outcome.deviceId));
    if (!WriteRunMetrics(path, RunMetricsText(report, lastSuccess, endedAt, seconds)))
        WriteRunLine(QStringLiteral("warning: cannot write the metrics file %1").arg(path));
}

} // namespace

int RunHeadless(const QStringList& arguments, const RunOptions& options)
{
    RouteDriverWarnings();
    const Clock& clock = systemClock();
    const std::unique_ptr<RegistryStore> userRegistry = UserRegistry();
    RegistryStore& registry = *userRegistry;
    StreamNotificationSink notifications(stderr);
    ProgressReporter progress(registry, notifications, stdout);
    StreamMessageSink messages(stderr);
    ConsolePasswordPrompt prompt(stdin, stderr);
    NetTerminalLink link;
    RunRecordStore records(registry, RunRecordsFolder());
    for (const QString& warning : records.Warnings())
        WriteRunLine(warning);
    MainServices services{
        link,          progress,       messages,
        clock,         registry,       prompt,
        StateFolder(), WriteRunLine,   [] { return std::make_unique<NetTerminalLink>(); },
        options,       ConfigFolder(), &records.Store()};
    QElapsedTimer elapsed;
    elapsed.start();
    const StartOutcome started =
        StartWithoutWindow(CCommandParse::Parse(arguments).Params, services);

    const RunReport& report = started.report;
    if (report.mode == RunReport::Mode::AllDevices && !options.metricsPath.isEmpty())
        WriteMetrics(options.metricsPath, report, records.Store(), clock.now(),
                     double(elapsed.elapsed()) / 1000);
    // An accepted password would open the main window; without a display there
    // is nothing to wait for.
    if (!report.endRequested && report.mode == RunReport::Mode::Interactive)
        WriteRunLine(QStringLiteral("password accepted; the main window needs a display "
                                    "(set DISPLAY), exiting"));
    const int status = report.ExitStatus();
    if (report.mode != RunReport::Mode::Interactive)
        WriteRunLine(QStringLiteral("done: %1 device(s), %2 failed, exit status %3")
                         .arg(report.devices)
                         .arg(report.failed)
                         .arg(status));
    return status;
}
