#include "terminal/TerminalClock.h"

#include "platform/Clock.h"
#include "platform/DateTexts.h"
#include "terminal/DateRange.h"

#include <cstdlib>

namespace {

QDateTime WallClockOf(const QDateTime& local)
{
    return QDateTime(local.date(), local.time(), Qt::UTC);
}

// The host's wall-clock time in whole seconds: a terminal keeps whole seconds.
QDateTime HostSecond(const QDateTime& local)
{
    const QDateTime wall = WallClockOf(local);
    return wall.addMSecs(-(wall.time().msec()));
}

} // namespace

QDateTime WallClock(const TerminalTime& t)
{
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), Qt::UTC);
}

ClockReading ReadTerminalClock(CTerminalLink& link, const Clock& clock)
{
    ClockReading reading;
    const QDateTime before = clock.now();
    if (!link.ReadClock(kMachineNumber, reading.time)) {
        reading.problem = link.LastFailure();
        return reading;
    }
    const QDateTime after = clock.now();
    const TerminalTime& t = reading.time;
    if (!IsValidPunchTime(t.year, t.month, t.day, t.hour, t.minute, t.second)) {
        reading.problem = QStringLiteral("the terminal's clock shows an impossible time "
                                         "(%1-%2-%3 %4:%5:%6)")
                              .arg(t.year)
                              .arg(t.month)
                              .arg(t.day)
                              .arg(t.hour)
                              .arg(t.minute)
                              .arg(t.second);
        return reading;
    }
    // The host's time halfway through the request.
    const QDateTime host = HostSecond(before.addMSecs(before.msecsTo(after) / 2));
    reading.offsetSeconds = host.secsTo(WallClock(t));
    reading.read = true;
    return reading;
}

ClockReading SetTerminalClock(CTerminalLink& link, const Clock& clock)
{
    const QDateTime now = WallClockOf(clock.now()).addMSecs(500);
    const TerminalTime time{now.date().year(), now.date().month(),  now.date().day(),
                            now.time().hour(), now.time().minute(), now.time().second()};
    if (!link.SetClock(kMachineNumber, time)) {
        ClockReading failed;
        failed.problem = link.LastFailure();
        return failed;
    }
    return ReadTerminalClock(link, clock);
}

QString OffsetText(qint64 offsetSeconds)
{
    if (offsetSeconds == 0)
        return QStringLiteral("in step with");
    return SpanText(std::llabs(offsetSeconds)) +
           (offsetSeconds > 0 ? QStringLiteral(" ahead of") : QStringLiteral(" behind"));
}

QString SetClockHint(const QString& deviceName)
{
    return QStringLiteral("set it with zelvor-settings set-clock %1").arg(deviceName);
}
