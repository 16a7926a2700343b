#include "app/WindowSteps.h"

#include "app/LastSuccess.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "platform/RunLock.h"
#include "resources/OperatorTexts.h"
#include "terminal/DateRange.h"

#include <QLocale>

bool RangeRefused(const DownloadRange& range, MessageSink& messages)
{
    const RangeDays days = DaysOf(range);
    if (!days.Reversed())
        return false;
    const QLocale locale;
    messages.Show(
        optext::kReversedRange.arg(locale.toString(days.first), locale.toString(days.last)));
    return true;
}

SessionResult OpenLinkTo(CConnServer& device, const SessionTools& tools)
{
    MovementList none;
    DeviceSession session(device, tools);
    SessionPlan plan;
    plan.download = false;
    const SessionResult result = session.Walk(plan, {}, none);
    if (result.Ok())
        session.KeepLink();
    return result;
}

std::optional<DeviceOutcome> PullDevice(CConnServer& device, const DownloadRange& range,
                                        const SessionPlan& plan, DeviceRunTools& tools,
                                        const MainServices& services)
{
    RunLock lock(RunLockPath(services.exeFolder));
    if (!lock.Acquire(services.options.runLockWaitMs)) {
        services.messages.Show(lock.Problem());
        return std::nullopt;
    }
    DeviceOutcome outcome = RunOneDevice(device, range, plan, tools);
    if (outcome.postingDone && outcome.Ok())
        RecordPullSuccess(RecordsOf(services), outcome.deviceId, range, outcome.startedAt,
                          FirstOfMonth(services.clock));
    return outcome;
}
