#include "store/DeviceQueries.h"

#include "resources/FaultTexts.h"
#include "store/SqlValues.h"

TerminalAddress LoadDeviceAddress(CConnServer& record, Database& db, MessageSink& messages,
                                  int* rows)
{
    int found = -1;
    if (rows)
        *rows = found;
    if (!EnsureOpen(db, record.ConnStr))
        return TerminalAddressOf(record);
    std::optional<QSqlQuery> query =
        db.Query(QStringLiteral("SELECT IP, Port, IPKey FROM tsrHrDeviceShift WHERE Id =?"),
                 {record.DeviceId});
    if (!query) {
        messages.Show(faulttext::kDeviceQueryFailed);
        return TerminalAddressOf(record);
    }
    found = 0;
    while (NextRow(*query)) {
        ++found;
        record.IP = TextOf(query->value(QStringLiteral("IP")));
        record.Port = TextOf(query->value(QStringLiteral("Port")));
        record.IPKey = TextOf(query->value(QStringLiteral("IPKey")));
    }
    if (rows)
        *rows = found;
    return TerminalAddressOf(record);
}

std::optional<QList<DeviceRow>> ListDevices(Database& db, const QString& connStr,
                                            MessageSink& messages)
{
    // Closing first makes a changed connection string take effect.
    db.Close();
    EnsureOpen(db, connStr);
    std::optional<QSqlQuery> query =
        db.Query(QStringLiteral("SELECT ID, code, Name FROM tsrHrDeviceShift WHERE DevType = 1"));
    if (!query) {
        messages.Show(faulttext::kDeviceQueryFailed);
        return std::nullopt;
    }
    QList<DeviceRow> rows;
    while (NextRow(*query))
        rows.append(DeviceRow{TextOf(query->value(QStringLiteral("ID"))),
                              TextOf(query->value(QStringLiteral("Name")))});
    return rows;
}
