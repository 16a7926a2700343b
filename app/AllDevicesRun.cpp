#include "app/AllDevicesRun.h"

#include "app/DeviceRun.h"
#include "app/LastRun.h"
#include "app/LastSuccess.h"
#include "app/OrderedRun.h"
#include "app/RecordedReports.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "platform/RunLock.h"
#include "terminal/CTerminalLink.h"
#include "terminal/DateRange.h"

#include <cstdlib>

void PostingOrder::AwaitTurn(int index)
{
    std::unique_lock guard(lock_);
    changed_.wait(guard, [&] { return next_ >= index; });
}

void PostingOrder::Done(int index)
{
    {
        const std::lock_guard guard(lock_);
        done_[std::size_t(index)] = true;
        while (next_ < int(done_.size()) && done_[std::size_t(next_)])
            ++next_;
    }
    changed_.notify_all();
}

namespace {

void Log(const MainServices& services, const QString& line)
{
    if (services.log)
        services.log(line);
}

// The outcome of one device, as its turn comes: its line, a clock warning, its
// record for zelvor-settings status and its last success.
void Record(const DeviceOutcome& outcome, const QDateTime& firstOfMonth, MainServices& services,
            RunReport& report)
{
    ++report.devices;
    if (!outcome.Ok())
        ++report.failed;
    Log(services, outcome.Line());
    const int clockLimit = services.options.clockLimitSeconds;
    if (outcome.clock.read && std::llabs(outcome.clock.offsetSeconds) > clockLimit)
        Log(services, QStringLiteral("warning: %1: the terminal's clock is %2 this host's (more "
                                     "than %3 s); its punches carry its time; %4")
                          .arg(outcome.name, OffsetText(outcome.clock.offsetSeconds))
                          .arg(clockLimit)
                          .arg(SetClockHint(outcome.name)));
    for (const QString& warning :
         RecordDeviceRun(RecordsOf(services), outcome, firstOfMonth, services.options.since))
        Log(services, warning);
}

} // namespace

void RunAllDevices(CConnServerList& devices, const QString& configPath, const QDateTime& to,
                   MainServices& services,
                   const std::function<void(const std::function<void()>&)>& runAside,
                   RunReport& report)
{
    report.mode = RunReport::Mode::AllDevices;
    if (devices.isEmpty()) {
        Log(services, QStringLiteral("no devices to run from %1").arg(configPath));
        return;
    }
    // The program ends after this run, whatever happened.
    report.endRequested = true;
    // One run at a time on this installation: a second one waits for the
    // first, then gives up with the reason.
    RunLock lock(RunLockPath(services.exeFolder));
    if (!lock.Acquire(services.options.runLockWaitMs)) {
        services.messages.Show(lock.Problem());
        Log(services, QStringLiteral("FAILED, ") + OneLine(lock.Problem()));
        report.devices = int(devices.size());
        report.failed = report.devices;
        return;
    }
    // Computed once, so a run that crosses midnight keeps the same range start.
    const QDateTime firstOfMonth = FirstOfMonth(services.clock);
    const int jobs = services.makeLink ? services.options.jobs : 1;
    QList<DeviceOutcome> outcomes(devices.size());

    // A parallel run gives each device a link of its own, made and ended on
    // its thread, and recorded sinks that are handed on in the order of the list.
    QList<RecordedReports> recorded(jobs > 1 ? devices.size() : 0);
    PostingOrder order(int(devices.size()));
    auto work = [&](int index) {
        CConnServer& record = devices[index];
        const DownloadRange range{{},
                                  {},
                                  RunRangeStart(firstOfMonth,
                                                ReadLastSuccess(RecordsOf(services), record.DeviceId),
                                                services.options.since),
                                  to};
        if (jobs > 1) {
            RecordedReports& reports = recorded[index];
            const std::unique_ptr<CTerminalLink> link = services.makeLink();
            DeviceRunTools tools{SessionToolsOf(services, *link, reports, reports),
                                 [&order, index] { order.AwaitTurn(index); }};
            outcomes[index] = RunOneDevice(record, range, RunPlan(), tools);
            order.Done(index);
            return;
        }
        services.messages.SetContext(record.Name);
        DeviceRunTools tools{SessionToolsOf(services)};
        outcomes[index] = RunOneDevice(record, range, RunPlan(), tools);
        services.messages.SetContext({});
    };
    auto done = [&](int index) {
        if (jobs > 1) {
            services.messages.SetContext(devices[index].Name);
            recorded[index].Replay(services.progress, services.messages);
            services.messages.SetContext({});
        }
        Record(outcomes[index], firstOfMonth, services, report);
    };
    runAside([&] { RunInOrder(int(devices.size()), jobs, work, done); });
    report.outcomes = outcomes;
}
