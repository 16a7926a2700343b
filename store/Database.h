#pragma once

#include "store/DatabaseError.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <optional>

// One ODBC connection to the host suite's database, open or closed. Each
// instance has a connection of its own (a unique Qt connection name), so the
// main dialog and the settings dialog never share one. Statements and queries
// take their values as bound parameters; failures reported by the driver are
// thrown as DatabaseError.
class Database {
public:
    static constexpr int kDefaultLoginTimeoutSeconds = 5;

    explicit Database(int loginTimeoutSeconds = kDefaultLoginTimeoutSeconds);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Connects with an ODBC connection string (credentials inside it). A
    // server that does not answer fails after the login time-out. Throws
    // DatabaseError when no connection is made; the database is closed then.
    void Open(const QString& connStr);
    // Closing a closed database does nothing.
    void Close();
    bool IsOpen() const;
    // The string of the current connection; empty while closed.
    const QString& ConnectionString() const { return connStr_; }

    // Runs a statement that returns no rows. Throws DatabaseError on failure,
    // also when the database is closed.
    void Execute(const QString& statement, const QVariantList& values = {});

    // Runs a forward-only query. nullopt when it cannot be run because the
    // database is closed; throws DatabaseError when the driver reports an error.
    std::optional<QSqlQuery> Query(const QString& text, const QVariantList& values = {});

private:
    QSqlQuery Run(const QString& text, const QVariantList& values);

    QString name_;
    QString connStr_;
    int loginTimeoutSeconds_;
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
