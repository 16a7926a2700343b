#pragma once

#include "store/Database.h"
#include "store/Records.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <memory>

class QProcess;
class QSqlDatabase;

namespace testsupport {

// A row of tsrHrMovement as the tests read it back.
struct MovementRow {
    QString ID;
    QString ParentID;
    double Number = 0;
    QString CardNb;
    QString Date; // "yyyy-MM-dd HH:mm:ss"
    int Direction = 0;
    int Status = 0;
    int IsManual = 0;
    int IsDelete = 0;
    int IsPosted = 0;
    QString UserID;
    QString CDate; // "yyyy-MM-dd"
};

// Every column but ID as one text per row, in the rows' order: what two
// postings of the same punches are compared by (each makes new GUIDs).
QStringList ContentWithoutIds(const QList<MovementRow>& rows);

// A row of tsrHrDeviceShift to set up.
struct DeviceFixture {
    QString ID; // a GUID text
    QString code;
    QString Name;
    QString IP;
    QVariant Port;  // null or an integer
    QVariant IPKey; // null or an integer
    int DevType = 1;
};

// When the driver manager did not find the driver's name ("Can't open lib"):
// what the odbcinst.ini of ODBCSYSINI held at that moment, for a failure seen
// only rarely; empty for any other text.
QString DriverMappingNote(const QString& driverSaid);

// Which server the database tests run on: the throw-away PostgreSQL cluster
// of scripts/with-testdb (psqlODBC registered as "SQL Server"), or, when
// ZELVOR_TEST_ENGINE=tsql, the T-SQL engine of scripts/with-tsqldb (FreeTDS
// registered as "SQL Server", the port in TDSPORT). CTest registers every
// database suite once for each.
enum class TestEngine { PostgreSQL, TSql };

// What the driver says for a fault, in words both drivers' texts contain.
enum class DriverSays { WrongPassword, StatementTimedOut, ImpossibleDate };

// The test server as the database tests and the end-to-end runs use it:
// connection details from the environment, table set-up and read-back through
// a connection of its own, administrator access and stopping/restarting the
// server. Where the two servers' SQL differs, the difference is here. Every
// operation returns false (or an empty result) on failure and leaves the
// reason in LastError().
class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase(); // releases a table lock, restarts the server if this object stopped it

    // Empty when the environment describes a test database; otherwise a
    // message naming the missing variables and how to provide them.
    static QString EnvironmentProblem();
    static TestEngine Engine();

    QString Server() const { return server_; }
    QString User() const { return user_; }
    QString Pass() const { return pass_; }
    QString Name() const { return name_; }
    QString Name2() const { return name2_; }
    // The kind the program's connection reports for this server.
    ServerKind Kind() const;

    // A device record whose Server, User, Pass, DbName (Name() when empty) and
    // ConnStr reach the test database.
    CConnServer Record(const QString& dbName = {}) const;

    // Empties tsrHrMovement and tsrHrDeviceShift.
    bool Reset(const QString& dbName = {});
    bool InsertDevices(const QList<DeviceFixture>& devices, const QString& dbName = {});
    // Sets an integer column of the device rows with this ID.
    bool UpdateDevice(const QString& id, const QString& column, int value,
                      const QString& dbName = {});
    // Adds a movement row as the host suite would hold it.
    bool InsertMovementRow(double number, const QString& cardNb, const QString& date,
                           const QString& dbName = {});
    // Adds rows of Number, CardNb and Date ("yyyy-MM-dd HH:mm:ss") through one connection.
    bool InsertMovementRows(const QList<MovementRow>& rows, const QString& dbName = {});
    // Every movement row, ordered by Number.
    QList<MovementRow> Movements(const QString& dbName = {});
    // Runs a statement as the test login (the owner of the tables).
    bool Execute(const QString& sql, const QVariantList& values = {}, const QString& dbName = {});
    // The first column of the first row of a query; invalid on failure.
    QVariant QueryValue(const QString& sql, const QString& dbName = {});

    // Runs PostgreSQL SQL through psql as the cluster's administrator (the
    // T-SQL engine is PostgreSQL underneath: there the database's tables are
    // first on the search path); output is the unaligned, tuples-only result.
    bool Admin(const QString& sql, QString* output = nullptr, const QString& dbName = {});
    // Makes a login that may open Name(), with this password (made anew).
    bool CreateLogin(const QString& name, const QString& password);
    // Grants a login privileges on a table of Name() ("GRANT SELECT ON table TO name").
    bool Grant(const QString& privileges, const QString& table, const QString& name);
    // Every insert into tsrHrMovement first waits this long (0: no more).
    bool SlowInserts(double seconds, const QString& dbName = {});
    // Holds tsrHrMovement locked in this PostgreSQL lock mode from another
    // session until UnlockMovements (or the end of this object).
    bool LockMovements(const QString& mode);
    void UnlockMovements();

    // A query of the session's server process (or id) and its database name.
    QString SessionQuery() const;
    // A query of the login's name and the database name.
    QString LoginQuery() const;
    // A word of the driver's text for the fault.
    QString Says(DriverSays fault) const;

    // Stops or restarts the server (existing connections are cut).
    bool StopServer();
    bool StartServer();

    QString LastError() const { return lastError_; }

private:
    bool WithConnection(const QString& dbName, const QString& user, const QString& pass,
                        const std::function<bool(QSqlDatabase&)>& work);
    bool WithConnection(const QString& dbName, const std::function<bool(QSqlDatabase&)>& work);
    // The open session for this database and login, opened when there is none
    // (an empty name when it cannot be opened).
    // purpose: a session kept apart from the others (holding a lock)
    QString Session(const QString& dbName, const QString& user, const QString& pass,
                    const QString& purpose = {});
    void DropSession(const QString& key);
    void DropSessions();
    bool RunShell(const QString& command, const QByteArray& input, QString* output);
    // Runs T-SQL on Name() as the engine's administrator.
    bool AdminTSql(const QString& sql);
    QString AdminCommand(const QString& dbName) const;

    TestEngine engine_;
    QString server_, user_, pass_, name_, name2_, admin_, ctl_;
    QString lastError_;
    bool stopped_ = false;
    std::unique_ptr<QProcess> lock_;
    // Sessions by database and login, kept from one operation to the next:
    // every new session costs the T-SQL engine about half a second (Qt's
    // driver asks it for its type list on each open). Dropped after a failed
    // operation, around a server stop or start, and with this object.
    QHash<QString, QString> sessions_;
};

} // namespace testsupport
