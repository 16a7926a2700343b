#include "app/LastSuccess.h"

#include "platform/RegistryStore.h"

#include <QUrl>

namespace {

constexpr Qt::DateFormat kFormat = Qt::ISODate;

// A value name for any device ID: the ID percent-encoded, so that "/" or ".."
// cannot reach outside the key.
QString ValueName(const QString& deviceId)
{
    return QStringLiteral("Device-") + QString::fromLatin1(QUrl::toPercentEncoding(deviceId));
}

} // namespace

std::optional<QDateTime> ReadLastSuccess(const RegistryStore& registry, const QString& deviceId)
{
    const std::optional<QString> text = registry.QueryValue(lastsuccess::kKey, ValueName(deviceId));
    if (!text)
        return std::nullopt;
    QDateTime at = QDateTime::fromString(text->trimmed(), kFormat);
    if (!at.isValid())
        return std::nullopt;
    return at;
}

bool StoreLastSuccess(RegistryStore& registry, const QString& deviceId, const QDateTime& at)
{
    return registry.CreateKey(lastsuccess::kKey) &&
           registry.SetValue(lastsuccess::kKey, ValueName(deviceId), at.toString(kFormat));
}

QDateTime RangeStart(const QDateTime& firstOfMonth, const std::optional<QDateTime>& lastSuccess)
{
    if (!lastSuccess)
        return firstOfMonth;
    const QDateTime day(lastSuccess->date(), QTime(0, 0));
    return day < firstOfMonth ? day : firstOfMonth;
}
