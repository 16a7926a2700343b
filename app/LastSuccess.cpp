#include "app/LastSuccess.h"

#include "platform/RegistryStore.h"
#include "terminal/DateRange.h"

#include <QUrl>

namespace {

constexpr Qt::DateFormat kFormat = Qt::ISODate;

} // namespace

QString DeviceValueName(const QString& deviceId)
{
    return QStringLiteral("Device-") + QString::fromLatin1(QUrl::toPercentEncoding(deviceId));
}

std::optional<QDateTime> LastSuccessOf(const std::optional<QString>& text)
{
    if (!text)
        return std::nullopt;
    QDateTime at = QDateTime::fromString(text->trimmed(), kFormat);
    if (!at.isValid())
        return std::nullopt;
    return at;
}

std::optional<QDateTime> ReadLastSuccess(const RegistryStore& registry, const QString& deviceId)
{
    return LastSuccessOf(registry.QueryValue(lastsuccess::kKey, DeviceValueName(deviceId)));
}

bool StoreLastSuccess(RegistryStore& registry, const QString& deviceId, const QDateTime& at)
{
    return registry.CreateKey(lastsuccess::kKey) &&
           registry.SetValue(lastsuccess::kKey, DeviceValueName(deviceId), at.toString(kFormat));
}

QDateTime RangeStart(const QDateTime& firstOfMonth, const std::optional<QDateTime>& lastSuccess)
{
    if (!lastSuccess)
        return firstOfMonth;
    const QDateTime day(lastSuccess->date(), QTime(0, 0));
    return day < firstOfMonth ? day : firstOfMonth;
}

QDateTime RunRangeStart(const QDateTime& firstOfMonth, const std::optional<QDateTime>& lastSuccess,
                        const QDate& since)
{
    return since.isValid() ? QDateTime(since, QTime(0, 0)) : RangeStart(firstOfMonth, lastSuccess);
}

bool MovesLastSuccess(const QDateTime& firstOfMonth, const std::optional<QDateTime>& lastSuccess,
                      const QDate& since, const QDateTime& startedAt)
{
    if (lastSuccess && startedAt <= *lastSuccess)
        return false;
    return !since.isValid() || since <= RangeStart(firstOfMonth, lastSuccess).date();
}

bool RecordPullSuccess(RegistryStore& registry, const QString& deviceId, const DownloadRange& range,
                       const QDateTime& startedAt, const QDateTime& firstOfMonth)
{
    const std::optional<QDateTime> lastSuccess = ReadLastSuccess(registry, deviceId);
    return DayFilter(range).KeepsDays(RangeStart(firstOfMonth, lastSuccess).date(),
                                      startedAt.date()) &&
           MovesLastSuccess(firstOfMonth, lastSuccess, {}, startedAt) &&
           StoreLastSuccess(registry, deviceId, startedAt);
}
