#include "store/ConnectionString.h"

namespace {

bool NeedsBraces(const QString& value)
{
    if (value.isEmpty())
        return false;
    return value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('{')) ||
           value.contains(QLatin1Char('}')) || value.front().isSpace() || value.back().isSpace();
}

} // namespace

QString OdbcAttributeValue(const QString& value, bool alwaysBraced)
{
    if (!alwaysBraced && !NeedsBraces(value))
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

QString BuildConnStr(const CConnServer& record)
{
    QString text = QStringLiteral("DRIVER=") + OdbcAttributeValue(DriverName(record), true) +
                   QStringLiteral(";SERVER=") + OdbcAttributeValue(record.Server) +
                   QStringLiteral(";UID=") + OdbcAttributeValue(record.User) +
                   QStringLiteral(";PWD=") + OdbcAttributeValue(record.Pass, true) +
                   QStringLiteral(";DATABASE=") + OdbcAttributeValue(record.DbName);
    const QString options = record.DriverOptions.trimmed();
    if (!options.isEmpty())
        text += QLatin1Char(';') + options;
    return text;
}
