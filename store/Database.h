#pragma once

#include "store/DatabaseError.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class OdbcStatement;

// The kind of server behind a connection, as its ODBC driver names it. It
// chooses the few statements that differ between servers: the session's date
// order, the posting lock and the posting's batch table.
enum class ServerKind {
    SqlServer,
    PostgreSQL,
    Other, // any other name; treated as SQL Server, the production target
};

// Whether a connection gets SQL Server's statements and session settings:
// every kind but PostgreSQL.
inline bool TakesSqlServerStatements(ServerKind kind)
{
    return kind != ServerKind::PostgreSQL;
}

// One ODBC connection to the host suite's database, open or closed. Each
// instance has a connection of its own (a unique Qt connection name), so the
// main dialog and the settings dialog never share one. Statements and queries
// take their values as bound parameters; failures reported by the driver are
// thrown as DatabaseError.
//
// Every statement runs with a query time-out (set through the statement
// handle, SQL_ATTR_QUERY_TIMEOUT), so a statement that waits on a lock held
// elsewhere or on a server that stopped answering fails after it instead of
// hanging the run.
class Database {
public:
    static constexpr int kDefaultLoginTimeoutSeconds = 5;
    static constexpr int kDefaultQueryTimeoutSeconds = 60;
    // How long the posting waits for other writers of the movement table.
    static constexpr int kDefaultLockWaitSeconds = 30;

    explicit Database(int loginTimeoutSeconds = kDefaultLoginTimeoutSeconds);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Connects with an ODBC connection string (credentials inside it). A
    // server that does not answer fails after the login time-out. Throws
    // DatabaseError when no connection is made; the database is closed then.
    void Open(const QString& connStr);
    // Closing a closed database does nothing. An open transaction is rolled back.
    void Close();
    bool IsOpen() const;
    // The string of the current connection; empty while closed.
    const QString& ConnectionString() const { return connStr_; }
    // The server's kind as the driver reported it when the connection opened.
    ServerKind Kind() const { return kind_; }

    // Seconds a statement may take before the driver cancels it; 0: no limit.
    void SetQueryTimeout(int seconds) { queryTimeoutSeconds_ = seconds; }
    // Seconds the posting waits to lock the movement table against other writers.
    void SetLockWait(int seconds) { lockWaitSeconds_ = seconds; }
    int LockWaitSeconds() const { return lockWaitSeconds_; }

    // Runs a statement that returns no rows and returns the number of rows it
    // changed (-1 when the driver does not say). Throws DatabaseError on
    // failure, also when the database is closed. timeoutSeconds replaces the
    // query time-out for this statement.
    int Execute(const QString& statement, const QVariantList& values = {},
                std::optional<int> timeoutSeconds = std::nullopt);

    // Runs a statement without parameters by direct execution: never as a
    // prepared statement, which some drivers send as a call whose temporary
    // objects and session settings end with it (SQL Server drops a temporary
    // table made inside sp_prepexec or sp_executesql when the call returns).
    // Otherwise as Execute; its DatabaseError carries the SQLSTATE.
    int ExecuteDirect(const QString& statement, std::optional<int> timeoutSeconds = std::nullopt);

    // Runs a forward-only query. nullopt when it cannot be run because the
    // database is closed; throws DatabaseError when the driver reports an
    // error. timeoutSeconds replaces the query time-out for this query.
    std::optional<QSqlQuery> Query(const QString& text, const QVariantList& values = {},
                                   std::optional<int> timeoutSeconds = std::nullopt);

    // Prepares a statement to run many times with different values (the
    // server parses and plans it once, and the driver binds the values again
    // only when one no longer fits: store/OdbcStatement.h). Throws
    // DatabaseError like Execute.
    class Prepared;
    Prepared Prepare(const QString& statement);

    // A transaction: statements after Begin take effect together at Commit, or
    // not at all. Prefer the Transaction object (store/Transaction.h). Begin
    // and Commit throw DatabaseError; Rollback reports nothing (a connection
    // that is gone has rolled back on the server). A rollback the driver
    // refuses replaces the connection with a new one to the same database
    // (left closed when that fails).
    void Begin();
    void Commit();
    void Rollback();

    // Statements sent on this object so far (each Execute and Query, and each
    // commit), a cost figure for benchmarks.
    qint64 StatementsSent() const { return statementsSent_; }
    // Told the text of each statement sent from now on (run, prepared, and
    // "BEGIN"/"COMMIT"), for a trace of what a connection did; empty: none.
    void SetTrace(std::function<void(const QString&)> trace) { trace_ = std::move(trace); }

private:
    QSqlQuery PrepareQuery(const QString& text, int timeoutSeconds);
    std::unique_ptr<OdbcStatement> NewStatement(int timeoutSeconds);
    QSqlQuery Run(const QString& text, const QVariantList& values, int timeoutSeconds);
    void ExecutePrepared(QSqlQuery& query);

    QString name_;
    QString connStr_;
    int loginTimeoutSeconds_;
    int queryTimeoutSeconds_ = kDefaultQueryTimeoutSeconds;
    int lockWaitSeconds_ = kDefaultLockWaitSeconds;
    ServerKind kind_ = ServerKind::Other;
    bool inTransaction_ = false;
    qint64 statementsSent_ = 0;
    std::function<void(const QString&)> trace_;
    void Trace(const QString& text) const
    {
        if (trace_)
            trace_(text);
    }
    // Statements prepared on the open connection: Close frees them first.
    std::vector<std::weak_ptr<OdbcStatement>> prepared_;
};

// A statement prepared on a Database; valid while that connection stays open
// (once it is closed, Execute throws DatabaseError). It may outlive the
// Database object.
class Database::Prepared {
public:
    ~Prepared();
    Prepared(Prepared&&) noexcept;
    Prepared& operator=(Prepared&&) noexcept;

    // Runs the statement with these values (as many as it has parameters,
    // integers, numbers and texts); returns the number of rows it changed
    // (-1 when the driver does not say). Throws DatabaseError on failure.
    int Execute(const QVariantList& values);

private:
    friend class Database;
    Prepared(qint64& statementsSent, std::shared_ptr<OdbcStatement> statement);

    qint64* statementsSent_;
    std::shared_ptr<OdbcStatement> statement_;
};

// Moves a query to its next row; false at the end. Throws DatabaseError when
// the driver fails while fetching (a connection lost mid-read).
bool NextRow(QSqlQuery& query);

// Opens db with connStr unless it is open with that very string already. A
// database open with a different string is closed and reopened, so a look-up
// never goes to the previous device's database. Returns whether db is open
// afterwards; a failed open throws DatabaseError. An empty connection string
// (the record of no device) opens nothing and returns false, leaving db as it was.
bool EnsureOpen(Database& db, const QString& connStr);
