#include "ClockCommand.h"

#include "app/DriverWarnings.h"
#include "app/RecordedReports.h"
#include "platform/Clock.h"
#include "store/Database.h"
#include "store/DeviceQueries.h"
#include "terminal/ConnectDevice.h"
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
    const DriverWarningDevice warnings(name);
    CConnServer record = device;
    RecordedReports reports; // no DevStatus, no notifications
    Database db;
    TerminalAddress address;
    try {
        address = LoadDeviceAddress(record, db, reports);
    } catch (const DatabaseError& error) {
        return Print(out, QStringLiteral("%1: FAILED, database: %2").arg(name, error.Text()), 1);
    }
    db.Close();
    NetTerminalLink link;
    if (deviceTimeoutSeconds > 0)
        link.SetDeadline(QDeadlineTimer(qint64(deviceTimeoutSeconds) * 1000));
    TransferContext transfer{link, reports, reports, systemClock(), {}};
    if (!ConnectDevice(address, transfer))
        return Print(out,
                     address.complete
                         ? QStringLiteral("%1: FAILED, cannot connect to %2: %3")
                               .arg(name, address.Text(), link.LastFailure())
                         : QStringLiteral("%1: FAILED, no terminal address (device ID '%2' not "
                                          "found in tsrHrDeviceShift?)")
                               .arg(name, record.DeviceId),
                     1);
    const ClockReading before = ReadTerminalClock(link, systemClock());
    const ClockReading after = SetTerminalClock(link, systemClock());
    link.CloseLink();
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
