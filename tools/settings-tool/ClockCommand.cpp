#include "ClockCommand.h"

#include "app/DeviceSession.h"
#include "app/DriverWarnings.h"
#include "app/RecordedReports.h"
#include "platform/Clock.h"
#include "terminal/NetTerminalLink.h"
#include "terminal/TerminalClock.h"

#include <cstdlib>

namespace {

// The terminal keeps whole seconds, and the reading back takes a moment.
constexpr qint64 kToleranceSeconds = 2;

int Print(FILE* out, const QString& line, int status)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    return status;
}

} // namespace

int SetDeviceClock(const CConnServer& device, int deviceTimeoutSeconds, FILE* out)
{
    RouteDriverWarnings();
    const QString name = device.Name;
    CConnServer record = device;
    RecordedReports reports; // no DevStatus, no notifications
    NetTerminalLink link;
    // The run's own session: look-up, connection with the stored key, clock.
    DeviceSession session(record, SessionTools{.link = link,
                                               .progress = reports,
                                               .messages = reports,
                                               .clock = systemClock(),
                                               .deviceTimeoutSeconds = deviceTimeoutSeconds});
    SessionPlan plan;
    plan.readClock = true;
    plan.download = false;
    MovementList none;
    const SessionResult& result = session.Walk(plan, {}, none);
    session.Db().Close();
    if (!result.Ok())
        return Print(out, QStringLiteral("%1: FAILED, %2").arg(name, result.failure), 1);
    const ClockReading& before = result.clock;
    const ClockReading after = SetTerminalClock(link, systemClock());
    session.EndLink();
    if (!after.read)
        return Print(
            out, QStringLiteral("%1: FAILED, the clock was not set: %2").arg(name, after.problem),
            1);
    const QString was =
        before.read ? QStringLiteral(" (before: %1 it)").arg(OffsetText(before.offsetSeconds))
                    : QString();
    const QString reads = WallClock(after.time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (std::llabs(after.offsetSeconds) > kToleranceSeconds)
        return Print(out,
                     QStringLiteral("%1: FAILED, the terminal did not keep the time: it reads %2, "
                                    "%3 this host's clock")
                         .arg(name, reads, OffsetText(after.offsetSeconds)),
                     1);
    return Print(out,
                 QStringLiteral("%1: clock set, it reads %2, %3 this host's clock%4")
                     .arg(name, reads, OffsetText(after.offsetSeconds), was),
                 0);
}
