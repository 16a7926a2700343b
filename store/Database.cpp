#include "store/Database.h"

#include "platform/MessageSink.h"
#include "resources/FaultTexts.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlResult>

#include <sql.h>
#include <sqlext.h>

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

ServerKind KindOf(const QSqlDatabase& db)
{
    // Qt's ODBC driver names the server from the driver's SQL_DBMS_NAME.
    switch (db.driver()->dbmsType()) {
    case QSqlDriver::MSSqlServer:
        return ServerKind::SqlServer;
    case QSqlDriver::PostgreSQL:
        return ServerKind::PostgreSQL;
    default:
        return ServerKind::Other;
    }
}

// Qt has no query time-out of its own; its ODBC driver hands out the
// statement handle, which takes the standard attribute between prepare and
// execute. Drivers that ignore the attribute leave the statement unbounded.
void SetStatementTimeout(const QSqlQuery& query, int seconds)
{
    const QVariant handle = query.result()->handle();
    if (!handle.isValid() || handle.metaType() != QMetaType::fromType<SQLHANDLE>())
        return;
    SQLHANDLE statement = *static_cast<const SQLHANDLE*>(handle.constData());
    if (!statement)
        return;
    const SQLRETURN rc = SQLSetStmtAttr(statement, SQL_ATTR_QUERY_TIMEOUT,
                                        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds)),
                                        SQL_IS_UINTEGER);
    // Said once: the driver refuses it for every statement alike.
    static std::atomic_bool said = false;
    if (!SQL_SUCCEEDED(rc) && !said.exchange(true))
        WriteProgramLine(stderr, QStringLiteral("warning: the ODBC driver refuses a statement "
                                                "time-out; statements may wait without limit"));
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
    // Qt's ODBC driver counts the string's terminating NUL in its length, so
    // the last attribute would reach the driver with a NUL in its value
    // (FreeTDS then sends a database name the server refuses); a closing ';'
    // ends that attribute first.
    db.setDatabaseName(connStr.endsWith(QLatin1Char(';')) ? connStr : connStr + QLatin1Char(';'));
    db.setConnectOptions(
        QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_ODBC_VERSION=SQL_OV_ODBC3")
            .arg(loginTimeoutSeconds_));
    if (!db.open()) {
        const QString text = DriverText(db.lastError());
        db.close();
        throw DatabaseError(text);
    }
    connStr_ = connStr;
    kind_ = KindOf(db);
}

void Database::Close()
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (db.isOpen()) {
        // The driver refuses to disconnect inside a transaction.
        Rollback();
        db.close();
    }
    inTransaction_ = false;
    connStr_.clear();
}

bool Database::IsOpen() const
{
    return QSqlDatabase::database(name_, false).isOpen();
}

int Database::Execute(const QString& statement, const QVariantList& values,
                      std::optional<int> timeoutSeconds)
{
    if (!IsOpen())
        throw DatabaseError(faulttext::kNotOpen);
    return Run(statement, values, timeoutSeconds.value_or(queryTimeoutSeconds_)).numRowsAffected();
}

std::optional<QSqlQuery> Database::Query(const QString& text, const QVariantList& values,
                                         std::optional<int> timeoutSeconds)
{
    if (!IsOpen())
        return std::nullopt;
    return Run(text, values, timeoutSeconds.value_or(queryTimeoutSeconds_));
}

QSqlQuery Database::PrepareQuery(const QString& text, int timeoutSeconds)
{
    QSqlQuery query(QSqlDatabase::database(name_, false));
    query.setForwardOnly(true);
    if (!query.prepare(text))
        throw DatabaseError(DriverText(query.lastError()));
    SetStatementTimeout(query, timeoutSeconds);
    return query;
}

void Database::ExecutePrepared(QSqlQuery& query)
{
    ++statementsSent_;
    if (!query.exec())
        throw DatabaseError(DriverText(query.lastError()));
}

QSqlQuery Database::Run(const QString& text, const QVariantList& values, int timeoutSeconds)
{
    QSqlQuery query = PrepareQuery(text, timeoutSeconds);
    for (const QVariant& value : values)
        query.addBindValue(value);
    ExecutePrepared(query);
    return query;
}

Database::Prepared Database::Prepare(const QString& statement)
{
    if (!IsOpen())
        throw DatabaseError(faulttext::kNotOpen);
    return Prepared(*this, PrepareQuery(statement, queryTimeoutSeconds_));
}

int Database::Prepared::Execute(const QVariantList& values)
{
    for (qsizetype i = 0; i < values.size(); ++i)
        query_.bindValue(int(i), values.at(i));
    db_->ExecutePrepared(query_);
    return query_.numRowsAffected();
}

void Database::Begin()
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (!db.isOpen())
        throw DatabaseError(faulttext::kNotOpen);
    if (!db.transaction())
        throw DatabaseError(DriverText(db.lastError()));
    inTransaction_ = true;
}

void Database::Commit()
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    ++statementsSent_;
    // A commit that fails leaves the transaction to Rollback or Close.
    if (!db.commit())
        throw DatabaseError(DriverText(db.lastError()));
    inTransaction_ = false;
}

void Database::Rollback()
{
    if (!inTransaction_)
        return;
    QSqlDatabase::database(name_, false).rollback();
    inTransaction_ = false;
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
