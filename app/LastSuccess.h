#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

class RegistryStore;
struct DownloadRange;

// When each device last had a fully successful all-devices run. Kept in the
// registry store under the program's own key (the host suite's key of
// DevStatus may be missing, and the program never creates that one), one
// value per device ID, as "yyyy-MM-ddTHH:mm:ss" local time.
namespace lastsuccess {
inline const QString kKey = QStringLiteral("Software\\Zelvor\\LastSuccess");
}

// The value name that holds a device's record under a key of the program's
// own: the ID percent-encoded, so that "/" or ".." cannot reach outside the key.
QString DeviceValueName(const QString& deviceId);

// A stored last success's time; nothing when there is none or it is not a time.
std::optional<QDateTime> LastSuccessOf(const std::optional<QString>& text);
std::optional<QDateTime> ReadLastSuccess(const RegistryStore& registry, const QString& deviceId);
// False when the store cannot be written: the next run then starts at the
// first of the month, and the caller says so.
bool StoreLastSuccess(RegistryStore& registry, const QString& deviceId, const QDateTime& at);

// Where an all-devices run starts a device's range: the first of the month,
// or the day of the device's last successful run (at 00:00) when that is
// earlier, so punches made after the last run of a month are not left behind.
QDateTime RangeStart(const QDateTime& firstOfMonth, const std::optional<QDateTime>& lastSuccess);

// Where an all-devices run starts a device's range: the day given with --since
// (at 00:00) when there is one, else RangeStart.
QDateTime RunRangeStart(const QDateTime& firstOfMonth, const std::optional<QDateTime>& lastSuccess,
                        const QDate& since);

// Whether a successful all-devices run that began at startedAt becomes the
// device's last success. The record only moves forward in time, and a run from
// a day given with --since moves it only when that day is not later than where
// the next run would start: otherwise the days between would pass for done.
bool MovesLastSuccess(const QDateTime& firstOfMonth, const std::optional<QDateTime>& lastSuccess,
                      const QDate& since, const QDateTime& startedAt);

// A window's pull that posted everything counts as the device's last success
// only when its range reached from where the next run would start to the day
// it began; the record only moves forward. Stores it then (false when it did
// not or could not).
bool RecordPullSuccess(RegistryStore& registry, const QString& deviceId, const DownloadRange& range,
                       const QDateTime& startedAt, const QDateTime& firstOfMonth);
