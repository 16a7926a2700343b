#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

class RegistryStore;
struct DeviceOutcome;

// What each device's last all-devices run did, for zelvor-settings status:
// kept in the registry store beside the last success (one value per device ID
// under the program's own key), as a small JSON document with a version,
// replaced in one step as soon as the device's outcome is known.
namespace lastrun {
inline const QString kKey = QStringLiteral("Software\\Zelvor\\LastRun");
// Records of another version are not read: they count as no record, and the
// next run writes the device's record anew.
inline constexpr int kVersion = 1;
} // namespace lastrun

struct LastRunRecord {
    QString name;
    bool succeeded = false;
    QString reason; // why it failed; empty when it succeeded
    QDateTime startedAt;
    double seconds = 0;
    bool downloaded = false;  // the download ran to its end
    bool postingDone = false; // the posting ran to its end
    qint64 inRange = 0;
    qint64 inserted = 0; // rows the posting inserted
    qint64 alreadyPresent = 0;
    qint64 refused = 0;
    // The terminal's clock as last read, by this run or an earlier one.
    std::optional<qint64> clockOffsetSeconds;
    QDateTime clockReadAt;

    bool operator==(const LastRunRecord&) const = default;
};

// The record of an outcome. previous: the device's record before it, whose
// clock reading is kept when this run could not read the clock.
LastRunRecord RecordOf(const DeviceOutcome& outcome, const std::optional<LastRunRecord>& previous);

// The record as JSON, times in ISO 8601 with their offset from UTC.
QJsonObject ToJson(const LastRunRecord& record);

struct LastRunRead {
    enum class State {
        Missing,    // the device has no record: it has not run
        Unreadable, // truncated, not a record, or of another version
        Found,
    };
    State state = State::Missing;
    LastRunRecord record;
};
LastRunRead ReadLastRun(const RegistryStore& registry, const QString& deviceId);

// Keeps a device's outcome of an all-devices run: its record, and its last
// success when the run succeeded and moves it (see MovesLastSuccess; since:
// the day given with --since, or none). Returns the warnings for the run's
// output: one line for each record that could not be stored.
QStringList RecordDeviceRun(RegistryStore& registry, const DeviceOutcome& outcome,
                            const QDateTime& firstOfMonth, const QDate& since);
