#include "app/LastRun.h"

#include "app/DeviceRun.h"
#include "app/LastSuccess.h"
#include "platform/RegistryStore.h"

#include <QJsonDocument>

namespace {

const QString kSucceeded = QStringLiteral("succeeded");
const QString kFailed = QStringLiteral("failed");

// ISO 8601 with milliseconds and the offset from UTC, so that a record means
// the same instant whatever the reader's time zone.
QJsonValue TimeValue(const QDateTime& at)
{
    if (!at.isValid())
        return QJsonValue::Null;
    return at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

std::optional<QDateTime> TimeFrom(const QJsonValue& value)
{
    const QDateTime at = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    if (!at.isValid())
        return std::nullopt;
    return at.toLocalTime();
}

// Reads the named whole numbers into their fields; false when one is missing
// or not a number.
bool ReadCounts(const QJsonObject& object,
                std::initializer_list<std::pair<const char*, qint64*>> counts)
{
    for (const auto& [name, field] : counts) {
        const QJsonValue value = object.value(QLatin1String(name));
        if (!value.isDouble())
            return false;
        *field = value.toInteger();
    }
    return true;
}

// The record of a JSON object; nothing when it is not a whole record.
std::optional<LastRunRecord> LastRunFromJson(const QJsonObject& object)
{
    LastRunRecord record;
    const QString outcome = object.value(QStringLiteral("outcome")).toString();
    const std::optional<QDateTime> started = TimeFrom(object.value(QStringLiteral("started_at")));
    const QJsonValue seconds = object.value(QStringLiteral("seconds"));
    if ((outcome != kSucceeded && outcome != kFailed) || !started || !seconds.isDouble() ||
        !object.value(QStringLiteral("name")).isString() ||
        !ReadCounts(object, {{"in_range", &record.inRange},
                             {"posted", &record.inserted},
                             {"already_present", &record.alreadyPresent},
                             {"refused", &record.refused}}))
        return std::nullopt;
    record.name = object.value(QStringLiteral("name")).toString();
    record.succeeded = outcome == kSucceeded;
    record.reason = object.value(QStringLiteral("reason")).toString();
    record.startedAt = *started;
    record.seconds = seconds.toDouble();
    record.downloaded = object.value(QStringLiteral("downloaded")).toBool();
    record.postingDone = object.value(QStringLiteral("posting_done")).toBool();
    const QJsonValue offset = object.value(QStringLiteral("clock_offset_seconds"));
    if (offset.isDouble()) {
        record.clockOffsetSeconds = offset.toInteger();
        record.clockReadAt =
            TimeFrom(object.value(QStringLiteral("clock_read_at"))).value_or(QDateTime());
    }
    return record;
}

// Replaces the device's record in one step.
bool StoreLastRun(RegistryStore& registry, const QString& deviceId, const LastRunRecord& record)
{
    QJsonObject object = ToJson(record);
    object.insert(QStringLiteral("version"), lastrun::kVersion);
    return registry.CreateKey(lastrun::kKey) &&
           registry.SetValue(lastrun::kKey, DeviceValueName(deviceId),
                             QString::fromUtf8(QJsonDocument(object).toJson()));
}

} // namespace

LastRunRecord RecordOf(const DeviceOutcome& outcome, const std::optional<LastRunRecord>& previous)
{
    LastRunRecord record;
    record.name = outcome.name;
    record.succeeded = outcome.Ok();
    record.reason = outcome.failure;
    record.startedAt = outcome.startedAt;
    record.seconds = outcome.seconds;
    record.downloaded = outcome.downloaded;
    record.postingDone = outcome.postingDone;
    record.inRange = outcome.inRange;
    record.inserted = outcome.posting.inserted;
    record.alreadyPresent = outcome.posting.skipped;
    record.refused = outcome.posting.failed;
    if (outcome.clock.read) {
        record.clockOffsetSeconds = outcome.clock.offsetSeconds;
        record.clockReadAt = outcome.startedAt;
    } else if (previous) {
        record.clockOffsetSeconds = previous->clockOffsetSeconds;
        record.clockReadAt = previous->clockReadAt;
    }
    return record;
}

QJsonObject ToJson(const LastRunRecord& record)
{
    return QJsonObject{
        {QStringLiteral("name"), record.name},
        {QStringLiteral("outcome"), record.succeeded ? kSucceeded : kFailed},
        {QStringLiteral("reason"), record.reason},
        {QStringLiteral("started_at"), TimeValue(record.startedAt)},
        {QStringLiteral("seconds"), record.seconds},
        {QStringLiteral("downloaded"), record.downloaded},
        {QStringLiteral("posting_done"), record.postingDone},
        {QStringLiteral("in_range"), record.inRange},
        {QStringLiteral("posted"), record.inserted},
        {QStringLiteral("already_present"), record.alreadyPresent},
        {QStringLiteral("refused"), record.refused},
        {QStringLiteral("clock_offset_seconds"),
         record.clockOffsetSeconds ? QJsonValue(*record.clockOffsetSeconds) : QJsonValue()},
        {QStringLiteral("clock_read_at"), TimeValue(record.clockReadAt)},
    };
}

LastRunRead ReadLastRun(const RegistryStore& registry, const QString& deviceId)
{
    LastRunRead read;
    const QString name = DeviceValueName(deviceId);
    const std::optional<QString> text = registry.QueryValue(lastrun::kKey, name);
    if (!text) {
        // There but not readable by this account counts as unreadable, not as never run.
        if (registry.ValueExists(lastrun::kKey, name))
            read.state = LastRunRead::State::Unreadable;
        return read;
    }
    read.state = LastRunRead::State::Unreadable;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text->toUtf8(), &error);
    const QJsonObject object = document.object();
    if (error.error != QJsonParseError::NoError ||
        object.value(QStringLiteral("version")).toInt(-1) != lastrun::kVersion)
        return read;
    const std::optional<LastRunRecord> record = LastRunFromJson(object);
    if (!record)
        return read;
    read.state = LastRunRead::State::Found;
    read.record = *record;
    return read;
}

QStringList RecordDeviceRun(RegistryStore& registry, const DeviceOutcome& outcome,
                            const QDateTime& firstOfMonth, const QDate& since)
{
    QStringList warnings;
    const LastRunRead previous = ReadLastRun(registry, outcome.deviceId);
    const std::optional<LastRunRecord> kept =
        previous.state == LastRunRead::State::Found ? std::optional(previous.record) : std::nullopt;
    if (!StoreLastRun(registry, outcome.deviceId, RecordOf(outcome, kept)))
        warnings.append(QStringLiteral("warning: cannot store the outcome of %1 for "
                                       "zelvor-settings status")
                            .arg(outcome.name));
    const std::optional<QDateTime> lastSuccess = ReadLastSuccess(registry, outcome.deviceId);
    if (outcome.Ok() && MovesLastSuccess(firstOfMonth, lastSuccess, since, outcome.startedAt) &&
        !StoreLastSuccess(registry, outcome.deviceId, outcome.startedAt))
        warnings.append(QStringLiteral("warning: cannot store the last success of %1; its next "
                                       "run starts at the first of the month")
                            .arg(outcome.name));
    return warnings;
}
