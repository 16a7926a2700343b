#include "store/Database.h"

#include "resources/FaultTexts.h"

#include <QSqlError>

#include <atomic>

namespace {

QString NextConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("zelvor-db-%1").arg(++counter);
}

// The driver's own message when there is one, else Qt's summary.
QString DriverText(const QSqlError& error)
{
    const QString text = error.databaseText().trimmed();
    return text.isEmpty() ? error.text().trimmed() : text;
}

} // namespace

Database::Database(int loginTimeoutSeconds)
    : name_(NextConnectionName()), loginTimeoutSeconds_(loginTimeoutSeconds)
{
    QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name_);
}

Database::~Database()
{
    Close();
    QSqlDatabase::removeDatabase(name_);
}

void Database::Open(const QString& connStr)
{
    Close();
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (!db.isValid())
        throw DatabaseError(faulttext::kNoOdbcDriver);
    db.setDatabaseName(connStr);
    db.setConnectOptions(
        QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_ODBC_VERSION=SQL_OV_ODBC3")
            .arg(loginTimeoutSeconds_));
    if (!db.open()) {
        const QString text = DriverText(db.lastError());
        db.close();
        throw DatabaseError(text);
    }
    connStr_ = connStr;
}

void Database::Close()
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (db.isOpen())
        db.close();
    connStr_.clear();
}

bool Database::IsOpen() const
{
    return QSqlDatabase::database(name_, false).isOpen();
}

void Database::Execute(const QString& statement, const QVariantList& values)
{
    if (!IsOpen())
        throw DatabaseError(faulttext::kNotOpen);
    Run(statement, values);
}

std::optional<QSqlQuery> Database::Query(const QString& text, const QVariantList& values)
{
    if (!IsOpen())
        return std::nullopt;
    return Run(text, values);
}

QSqlQuery Database::Run(const QString& text, const QVariantList& values)
{
    QSqlQuery query(QSqlDatabase::database(name_, false));
    query.setForwardOnly(true);
    if (!query.prepare(text))
        throw DatabaseError(DriverText(query.lastError()));
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw DatabaseError(DriverText(query.lastError()));
    return query;
}

bool NextRow(QSqlQuery& query)
{
    if (query.next())
        return true;
    if (query.lastError().isValid())
        throw DatabaseError(DriverText(query.lastError()));
    return false;
}

bool EnsureOpen(Database& db, const QString& connStr)
{
    // An all-empty device record (no device selected) has no connection
    // string: there is nothing to open, which is not a database fault.
    if (connStr.isEmpty())
        return false;
    if (db.IsOpen()) {
        if (db.ConnectionString() == connStr)
            return true;
        db.Close();
    }
    db.Open(connStr);
    return db.IsOpen();
}
