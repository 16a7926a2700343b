#include "store/Database.h"

#include "platform/MessageSink.h"
#include "resources/FaultTexts.h"
#include "store/OdbcStatement.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlResult>

#include <atomic>
#include <mutex>

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

} // namespace

Database::Database(int loginTimeoutSeconds)
    : name_(NextConnectionName()), loginTimeoutSeconds_(loginTimeoutSeconds)
{
    // Qt 6.4's SQL module registers its clean-up at exit when its driver table
    // is first used, without a lock: two threads making their first connection
    // objects at once (the devices of a parallel run) may both register it,
    // and the application object's end then calls it without end
    // (docs/qt-sql-exit-loop.md). One at a time, it is registered once.
    static std::mutex adding;
    const std::lock_guard guard(adding);
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
    // the last attribute would reach the driver with a NUL at its end (FreeTDS
    // then sends "DATABASE=hr\0" and the server refuses the login). A closing
    // ';' leaves the NUL in an empty attribute of its own.
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
    if (!TakesSqlServerStatements(kind_))
        return;
    // Date texts are "yyyy-MM-dd hh:mm:ss". SQL Server reads them for datetime
    // columns in the order of the login's language (a day-month-year language
    // swaps day and month), unless the session says otherwise. Set directly:
    // a SET inside a prepared call ends with the call.
    try {
        ExecuteDirect(QStringLiteral("SET DATEFORMAT ymd"));
    } catch (const DatabaseError&) {
        Close();
        throw;
    }
}

void Database::Close()
{
    for (const std::weak_ptr<OdbcStatement>& kept : prepared_)
        if (const std::shared_ptr<OdbcStatement> statement = kept.lock())
            statement->Release();
    prepared_.clear();
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (db.isOpen()) {
        // The driver refuses to disconnect inside a transaction.
        if (inTransaction_)
            db.rollback();
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

std::unique_ptr<OdbcStatement> Database::NewStatement(int timeoutSeconds)
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (!db.isOpen())
        throw DatabaseError(faulttext::kNotOpen);
    return std::make_unique<OdbcStatement>(OdbcHandleOf(db.driver()->handle()),
                                           db.driver()->hasFeature(QSqlDriver::Unicode),
                                           timeoutSeconds);
}

int Database::ExecuteDirect(const QString& statement, std::optional<int> timeoutSeconds)
{
    const std::unique_ptr<OdbcStatement> direct =
        NewStatement(timeoutSeconds.value_or(queryTimeoutSeconds_));
    ++statementsSent_;
    Trace(statement);
    return direct->ExecuteDirect(statement);
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
    SetOdbcStatementTimeout(OdbcHandleOf(query.result()->handle()), timeoutSeconds);
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
    Trace(text);
    for (const QVariant& value : values)
        query.addBindValue(value);
    ExecutePrepared(query);
    return query;
}

Database::Prepared Database::Prepare(const QString& statement)
{
    std::shared_ptr<OdbcStatement> prepared = NewStatement(queryTimeoutSeconds_);
    prepared->Prepare(statement);
    Trace(statement);
    std::erase_if(prepared_,
                  [](const std::weak_ptr<OdbcStatement>& kept) { return kept.expired(); });
    prepared_.push_back(prepared);
    return Prepared(statementsSent_, std::move(prepared));
}

Database::Prepared::Prepared(qint64& statementsSent, std::shared_ptr<OdbcStatement> statement)
    : statementsSent_(&statementsSent), statement_(std::move(statement))
{
}

Database::Prepared::~Prepared() = default;
Database::Prepared::Prepared(Prepared&&) noexcept = default;
Database::Prepared& Database::Prepared::operator=(Prepared&&) noexcept = default;

int Database::Prepared::Execute(const QVariantList& values)
{
    // A statement released with its connection may belong to a Database
    // that is gone: its counter is not touched.
    if (!statement_->IsOpen())
        throw DatabaseError(faulttext::kNotOpen);
    ++*statementsSent_;
    return statement_->Execute(values);
}

void Database::Begin()
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (!db.isOpen())
        throw DatabaseError(faulttext::kNotOpen);
    Trace(QStringLiteral("BEGIN"));
    if (!db.transaction())
        throw DatabaseError(DriverText(db.lastError()));
    inTransaction_ = true;
}

void Database::Commit()
{
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    ++statementsSent_;
    Trace(QStringLiteral("COMMIT"));
    // A commit that fails leaves the transaction to Rollback or Close.
    if (!db.commit())
        throw DatabaseError(DriverText(db.lastError()));
    inTransaction_ = false;
}

void Database::Rollback()
{
    if (!inTransaction_)
        return;
    inTransaction_ = false;
    if (QSqlDatabase::database(name_, false).rollback())
        return;
    // A server that ended the transaction itself on an error refuses the
    // rollback, and Qt then leaves the connection without automatic commit,
    // so later statements would never be committed. A new connection starts
    // clean; dropping this one makes the server discard whatever is left.
    const QString connStr = connStr_;
    Close();
    try {
        Open(connStr);
    } catch (const DatabaseError&) {
        // Closed: the next EnsureOpen tries again and reports the fault.
    }
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
