#include "TestDatabase.h"

#include "HostShell.h"

#include "store/ConnectionString.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <iterator>

namespace testsupport {

namespace {

// ODBCSYSINI, then server, login, password, database, second database,
// administrator command and server control command (TestDatabase's fields),
// then what the engine needs besides.
const char* const kPostgreSqlVariables[] = {
    "ODBCSYSINI",          "ZELVOR_TEST_DB_SERVER", "ZELVOR_TEST_DB_USER",  "ZELVOR_TEST_DB_PASS",
    "ZELVOR_TEST_DB_NAME", "ZELVOR_TEST_DB_NAME2",  "ZELVOR_TEST_DB_ADMIN", "ZELVOR_TEST_DB_CTL",
};

const char* const kTSqlVariables[] = {
    "ODBCSYSINI",
    "ZELVOR_TSQL_SERVER",
    "ZELVOR_TSQL_USER",
    "ZELVOR_TSQL_PASSWORD",
    "ZELVOR_TSQL_DB",
    "ZELVOR_TSQL_DB2",
    "ZELVOR_TSQL_PG_ADMIN",
    "ZELVOR_TSQL_CTL",
    "TDSPORT",
    "ZELVOR_TSQL_ADMIN_USER",
    "ZELVOR_TSQL_ADMIN_PASSWORD",
    "ZELVOR_TSQL_PG_DB",
};

QString Env(const char* name)
{
    return qEnvironmentVariable(name);
}

bool IsTSql()
{
    return qEnvironmentVariable("ZELVOR_TEST_ENGINE") == QLatin1String("tsql");
}

QString ErrorText(const QSqlError& error)
{
    return error.text().trimmed();
}

// A text as a T-SQL string literal.
QString TSqlLiteral(QString text)
{
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) +
           QLatin1Char('\'');
}

} // namespace

QString DriverMappingNote(const QString& driverSaid)
{
    if (!driverSaid.contains(QStringLiteral("Can't open lib")))
        return {};
    const QString path = Env("ODBCSYSINI") + QStringLiteral("/odbcinst.ini");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral(" (%1: %2)").arg(path, file.errorString());
    const QByteArray content = file.readAll();
    return QStringLiteral(" (%1: %2 bytes, modified %3, %4)")
        .arg(path)
        .arg(content.size())
        .arg(QFileInfo(file).lastModified().toString(Qt::ISODateWithMs))
        .arg(content.contains("[SQL Server]") ? QStringLiteral("with [SQL Server]")
                                              : QStringLiteral("without [SQL Server]"));
}

QStringList ContentWithoutIds(const QList<MovementRow>& rows)
{
    QStringList texts;
    for (const MovementRow& row : rows)
        texts.append(QStringList{QString::number(row.Number, 'f', 6), row.CardNb, row.Date,
                                 row.ParentID, QString::number(row.Direction),
                                 QString::number(row.Status), QString::number(row.IsManual),
                                 QString::number(row.IsDelete), QString::number(row.IsPosted),
                                 row.UserID, row.CDate}
                         .join(QLatin1Char('|')));
    return texts;
}

TestDatabase::TestDatabase() : engine_(Engine())
{
    // The variable names, in the order of kPostgreSqlVariables and kTSqlVariables
    // from their second entry on.
    const auto* names = engine_ == TestEngine::TSql ? kTSqlVariables : kPostgreSqlVariables;
    QString* const fields[] = {&server_, &user_, &pass_, &name_, &name2_, &admin_, &ctl_};
    for (std::size_t i = 0; i < std::size(fields); ++i)
        *fields[i] = Env(names[i + 1]);
}

TestDatabase::~TestDatabase()
{
    DropSessions();
    UnlockMovements();
    if (stopped_)
        StartServer();
}

TestEngine TestDatabase::Engine()
{
    return IsTSql() ? TestEngine::TSql : TestEngine::PostgreSQL;
}

QString TestDatabase::EnvironmentProblem()
{
    QStringList missing;
    const auto check = [&missing](const auto& names) {
        for (const char* name : names)
            if (qEnvironmentVariableIsEmpty(name))
                missing << QString::fromLatin1(name);
    };
    if (IsTSql())
        check(kTSqlVariables);
    else
        check(kPostgreSqlVariables);
    if (missing.isEmpty())
        return {};
    return (IsTSql() ? QStringLiteral("This test needs the T-SQL test engine; run it through "
                                      "scripts/with-tsqldb (or scripts/test). Missing: ")
                     : QStringLiteral("This test needs the test database; run it through "
                                      "scripts/with-testdb (or scripts/test). Missing: ")) +
           missing.join(QStringLiteral(", "));
}

ServerKind TestDatabase::Kind() const
{
    return engine_ == TestEngine::TSql ? ServerKind::SqlServer : ServerKind::PostgreSQL;
}

CConnServer TestDatabase::Record(const QString& dbName) const
{
    CConnServer record;
    record.Server = server_;
    record.User = user_;
    record.Pass = pass_;
    record.DbName = dbName.isEmpty() ? name_ : dbName;
    record.ConnStr = BuildConnStr(record);
    return record;
}

QString TestDatabase::Session(const QString& dbName, const QString& user, const QString& pass,
                              const QString& purpose)
{
    const QString key = dbName + QLatin1Char('|') + user +
                        (purpose.isEmpty() ? QString() : QLatin1Char('|') + purpose);
    if (sessions_.contains(key))
        return sessions_.value(key);
    static std::atomic<int> counter{0};
    const QString connection = QStringLiteral("testdatabase-%1").arg(++counter);
    bool open = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), connection);
        // Built here rather than with the program's code, so the tests do not
        // read back through what they test. The closing ';' keeps the NUL that
        // Qt counts out of the last attribute.
        db.setDatabaseName(
            QStringLiteral("DRIVER={SQL Server};SERVER=%1;UID=%2;PWD={%3};DATABASE=%4;")
                .arg(server_, user, pass, dbName));
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=5"));
        open = db.open();
        if (!open)
            lastError_ = QStringLiteral("cannot open the test database: ") +
                         ErrorText(db.lastError()) + DriverMappingNote(db.lastError().text());
    }
    if (!open) {
        QSqlDatabase::removeDatabase(connection);
        return {};
    }
    sessions_.insert(key, connection);
    return connection;
}

void TestDatabase::DropSession(const QString& key)
{
    const QString connection = sessions_.take(key);
    if (connection.isEmpty())
        return;
    QSqlDatabase::database(connection, false).close();
    QSqlDatabase::removeDatabase(connection);
}

void TestDatabase::DropSessions()
{
    for (const QString& key : sessions_.keys())
        DropSession(key);
}

bool TestDatabase::WithConnection(const QString& dbName, const QString& user, const QString& pass,
                                  const std::function<bool(QSqlDatabase&)>& work)
{
    const QString name = dbName.isEmpty() ? name_ : dbName;
    const QString key = name + QLatin1Char('|') + user;
    // A kept session may have been cut since (another object stopped the
    // server): the work then runs once more on a new session.
    for (bool kept = sessions_.contains(key);; kept = false) {
        const QString connection = Session(name, user, pass);
        if (connection.isEmpty())
            return false;
        bool ok = false, alive = false;
        {
            QSqlDatabase db = QSqlDatabase::database(connection, false);
            ok = work(db);
            if (!ok && kept) {
                QSqlQuery probe(db);
                alive = probe.exec(QStringLiteral("SELECT 1"));
            }
        }
        if (ok)
            return true;
        DropSession(key);
        if (!kept || alive)
            return false;
    }
}

bool TestDatabase::WithConnection(const QString& dbName,
                                  const std::function<bool(QSqlDatabase&)>& work)
{
    return WithConnection(dbName, user_, pass_, work);
}

namespace {

bool RunStatement(QSqlDatabase& db, const QString& sql, const QVariantList& values, QString& error)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        error = ErrorText(query.lastError());
        return false;
    }
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        error = ErrorText(query.lastError());
        return false;
    }
    return true;
}

} // namespace

bool TestDatabase::Execute(const QString& sql, const QVariantList& values, const QString& dbName)
{
    return WithConnection(
        dbName, [&](QSqlDatabase& db) { return RunStatement(db, sql, values, lastError_); });
}

QVariant TestDatabase::QueryValue(const QString& sql, const QString& dbName)
{
    QVariant result;
    WithConnection(dbName, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(sql) || !query.next()) {
            lastError_ = ErrorText(query.lastError());
            return false;
        }
        result = query.value(0);
        return true;
    });
    return result;
}

bool TestDatabase::Reset(const QString& dbName)
{
    if (engine_ == TestEngine::TSql)
        return Execute(QStringLiteral("TRUNCATE TABLE tsrHrMovement"), {}, dbName) &&
               Execute(QStringLiteral("TRUNCATE TABLE tsrHrDeviceShift"), {}, dbName);
    return Execute(QStringLiteral("TRUNCATE tsrHrMovement, tsrHrDeviceShift"), {}, dbName);
}

bool TestDatabase::InsertDevices(const QList<DeviceFixture>& devices, const QString& dbName)
{
    // Qt's ODBC driver hands FreeTDS text parameters as 8-bit text, which
    // FreeTDS must convert to the server's code page and cannot for Arabic;
    // the T-SQL set-up gives the name as a Unicode literal instead.
    const QString sql =
        engine_ == TestEngine::TSql
            ? QStringLiteral("INSERT INTO tsrHrDeviceShift (ID, code, Name, IP, Port, IPKey, "
                             "DevType) VALUES (CAST(? AS uniqueidentifier), ?, %1, ?, "
                             "CAST(? AS int), CAST(? AS int), ?)")
            : QStringLiteral("INSERT INTO tsrHrDeviceShift (ID, code, Name, IP, Port, IPKey, "
                             "DevType) VALUES (?::uuid, ?, ?, ?, ?::int, ?::int, ?)");
    for (const DeviceFixture& device : devices) {
        const bool ok = engine_ == TestEngine::TSql
                            ? Execute(sql.arg(device.Name.isNull()
                                                  ? QStringLiteral("NULL")
                                                  : QLatin1Char('N') + TSqlLiteral(device.Name)),
                                      {device.ID, device.code, device.IP, device.Port, device.IPKey,
                                       device.DevType},
                                      dbName)
                            : Execute(sql,
                                      {device.ID, device.code, device.Name, device.IP, device.Port,
                                       device.IPKey, device.DevType},
                                      dbName);
        if (!ok)
            return false;
    }
    return true;
}

bool TestDatabase::UpdateDevice(const QString& id, const QString& column, int value,
                                const QString& dbName)
{
    const QString guid =
        engine_ == TestEngine::TSql ? QStringLiteral("uniqueidentifier") : QStringLiteral("uuid");
    return Execute(QStringLiteral("UPDATE tsrHrDeviceShift SET %1 = CAST(? AS int) WHERE ID = "
                                  "CAST(? AS %2)")
                       .arg(column, guid),
                   {value, id}, dbName);
}

namespace {

const QString kInsertMovementRow = QStringLiteral(
    "INSERT INTO tsrHrMovement (ID, Number, CardNb, Date, Direction, Status, IsManual, IsDelete, "
    "IsPosted, CDate) VALUES (gen_random_uuid(), ?, ?, ?::timestamp, -1, 0, 0, 0, 0, "
    "current_date)");

// Style 120 reads "yyyy-mm-dd hh:mi:ss" whatever the login's language.
const QString kInsertMovementRowTSql = QStringLiteral(
    "INSERT INTO tsrHrMovement (ID, Number, CardNb, Date, Direction, Status, IsManual, IsDelete, "
    "IsPosted, CDate) VALUES (NEWID(), ?, ?, CONVERT(datetime, ?, 120), -1, 0, 0, 0, 0, "
    "CAST(GETDATE() AS date))");

} // namespace

bool TestDatabase::InsertMovementRow(double number, const QString& cardNb, const QString& date,
                                     const QString& dbName)
{
    MovementRow row;
    row.Number = number;
    row.CardNb = cardNb;
    row.Date = date;
    return InsertMovementRows({row}, dbName);
}

bool TestDatabase::InsertMovementRows(const QList<MovementRow>& rows, const QString& dbName)
{
    return WithConnection(dbName, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.prepare(engine_ == TestEngine::TSql ? kInsertMovementRowTSql
                                                       : kInsertMovementRow)) {
            lastError_ = ErrorText(query.lastError());
            return false;
        }
        for (const MovementRow& row : rows) {
            query.addBindValue(row.Number);
            query.addBindValue(row.CardNb);
            query.addBindValue(row.Date);
            if (!query.exec()) {
                lastError_ = ErrorText(query.lastError());
                return false;
            }
        }
        return true;
    });
}

QList<MovementRow> TestDatabase::Movements(const QString& dbName)
{
    // GUIDs as lower-case text on both servers.
    const QString sql =
        engine_ == TestEngine::TSql
            ? QStringLiteral("SELECT LOWER(CAST(ID AS char(36))), LOWER(CAST(ParentID AS "
                             "char(36))), Number, CardNb, CONVERT(varchar(19), Date, 120), "
                             "Direction, Status, IsManual, IsDelete, IsPosted, LOWER(CAST(UserID "
                             "AS char(36))), CONVERT(varchar(10), CDate, 120) FROM tsrHrMovement "
                             "ORDER BY Number, Date, CardNb")
            : QStringLiteral("SELECT ID::text, ParentID::text, Number, CardNb, "
                             "to_char(Date, 'YYYY-MM-DD HH24:MI:SS'), Direction, Status, "
                             "IsManual, IsDelete, IsPosted, UserID::text, to_char(CDate, "
                             "'YYYY-MM-DD') FROM tsrHrMovement ORDER BY Number, Date, CardNb");
    QList<MovementRow> rows;
    WithConnection(dbName, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(sql)) {
            lastError_ = ErrorText(query.lastError());
            return false;
        }
        while (query.next()) {
            MovementRow row;
            row.ID = query.value(0).toString();
            row.ParentID = query.value(1).toString();
            row.Number = query.value(2).toDouble();
            row.CardNb = query.value(3).toString();
            row.Date = query.value(4).toString();
            row.Direction = query.value(5).toInt();
            row.Status = query.value(6).toInt();
            row.IsManual = query.value(7).toInt();
            row.IsDelete = query.value(8).toInt();
            row.IsPosted = query.value(9).toInt();
            row.UserID = query.value(10).toString();
            row.CDate = query.value(11).toString();
            rows.append(row);
        }
        return true;
    });
    return rows;
}

bool TestDatabase::RunShell(const QString& command, const QByteArray& input, QString* output)
{
    const HostShellResult result = RunHostShell(command, input, 120000);
    if (!result.ran) {
        lastError_ = result.problem + QStringLiteral(": ") + command;
        return false;
    }
    if (output)
        *output = QString::fromUtf8(result.out).trimmed();
    if (result.exitCode != 0) {
        lastError_ =
            command + QStringLiteral(" failed: ") + QString::fromUtf8(result.err).trimmed();
        return false;
    }
    return true;
}

QString TestDatabase::AdminCommand(const QString& dbName) const
{
    const QString name = dbName.isEmpty() ? name_ : dbName;
    const QString options = QStringLiteral(" -q -A -t -v ON_ERROR_STOP=1 -d ");
    if (engine_ == TestEngine::PostgreSQL)
        return admin_ + options + name;
    // Multi-db mode keeps the tables of T-SQL database D in schema D_dbo.
    return QStringLiteral("PGOPTIONS='-c search_path=%1_dbo,public' ").arg(name) + admin_ +
           options + Env("ZELVOR_TSQL_PG_DB");
}

bool TestDatabase::Admin(const QString& sql, QString* output, const QString& dbName)
{
    return RunShell(AdminCommand(dbName), sql.toUtf8(), output);
}

bool TestDatabase::CreateLogin(const QString& name, const QString& password)
{
    if (engine_ == TestEngine::PostgreSQL)
        return Admin(QStringLiteral("DROP ROLE IF EXISTS %1; CREATE ROLE %1 LOGIN PASSWORD %2;")
                         .arg(name, QStringLiteral("$pw$") + password + QStringLiteral("$pw$")));
    const auto run = [this](const QString& sql) { return AdminTSql(sql); };
    return run(QStringLiteral("IF EXISTS (SELECT 1 FROM sys.database_principals WHERE name = %1) "
                              "DROP USER %2")
                   .arg(TSqlLiteral(name), name)) &&
           run(QStringLiteral("IF EXISTS (SELECT 1 FROM sys.server_principals WHERE name = %1) "
                              "DROP LOGIN %2")
                   .arg(TSqlLiteral(name), name)) &&
           run(QStringLiteral("CREATE LOGIN %1 WITH PASSWORD = %2")
                   .arg(name, TSqlLiteral(password))) &&
           run(QStringLiteral("CREATE USER %1 FOR LOGIN %1").arg(name));
}

bool TestDatabase::AdminTSql(const QString& sql)
{
    return WithConnection(name_, Env("ZELVOR_TSQL_ADMIN_USER"), Env("ZELVOR_TSQL_ADMIN_PASSWORD"),
                          [&](QSqlDatabase& db) {
                              QSqlQuery query(db);
                              query.setForwardOnly(true);
                              if (query.exec(sql))
                                  return true;
                              lastError_ = ErrorText(query.lastError());
                              return false;
                          });
}

bool TestDatabase::Grant(const QString& privileges, const QString& table, const QString& name)
{
    const QString sql = QStringLiteral("GRANT %1 ON %2 TO %3").arg(privileges, table, name);
    return engine_ == TestEngine::PostgreSQL ? Admin(sql + QLatin1Char(';')) : AdminTSql(sql);
}

bool TestDatabase::SlowInserts(double seconds, const QString& dbName)
{
    // A statement trigger on the PostgreSQL side serves both servers.
    if (seconds <= 0)
        return Admin(QStringLiteral("DROP TRIGGER IF EXISTS zelvor_slow_insert ON tsrHrMovement; "
                                    "DROP FUNCTION IF EXISTS zelvor_slow_insert();"),
                     nullptr, dbName);
    return Admin(QStringLiteral("CREATE OR REPLACE FUNCTION zelvor_slow_insert() RETURNS trigger "
                                "AS $$ BEGIN PERFORM pg_sleep(%1); RETURN NULL; END $$ LANGUAGE "
                                "plpgsql; DROP TRIGGER IF EXISTS zelvor_slow_insert ON "
                                "tsrHrMovement; CREATE TRIGGER zelvor_slow_insert BEFORE INSERT ON "
                                "tsrHrMovement FOR EACH STATEMENT EXECUTE FUNCTION "
                                "zelvor_slow_insert();")
                     .arg(seconds),
                 nullptr, dbName);
}

#ifdef Q_OS_WIN
// A psql session of the host cannot be held open from a Windows program under
// Wine: the test login, which owns the table, holds the lock in a session of
// its own.
const QString kLockPurpose = QStringLiteral("lock");

bool TestDatabase::LockMovements(const QString& mode)
{
    UnlockMovements();
    const QString connection = Session(name_, user_, pass_, kLockPurpose);
    if (connection.isEmpty())
        return false;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery query(db);
    if (db.transaction() &&
        query.exec(QStringLiteral("LOCK TABLE tsrHrMovement IN %1 MODE").arg(mode)))
        return true;
    lastError_ = QStringLiteral("cannot lock tsrHrMovement: ") + ErrorText(query.lastError());
    UnlockMovements();
    return false;
}

void TestDatabase::UnlockMovements()
{
    const QString key = name_ + QLatin1Char('|') + user_ + QLatin1Char('|') + kLockPurpose;
    if (!sessions_.contains(key))
        return;
    QSqlDatabase::database(sessions_.value(key), false).rollback();
    DropSession(key);
}
#else
bool TestDatabase::LockMovements(const QString& mode)
{
    UnlockMovements();
    // psql keeps the transaction open while its input stays open.
    lock_ = std::make_unique<QProcess>();
    lock_->setProcessChannelMode(QProcess::MergedChannels);
    lock_->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), AdminCommand({})});
    lock_->write(QStringLiteral("BEGIN; LOCK TABLE tsrHrMovement IN %1 MODE;\n\\echo locked\n")
                     .arg(mode)
                     .toUtf8());
    QByteArray said;
    while (!said.contains("locked") && lock_->waitForReadyRead(30000))
        said += lock_->readAll();
    if (said.contains("locked") && !said.contains("ERROR"))
        return true;
    lastError_ = QStringLiteral("cannot lock tsrHrMovement: ") + QString::fromUtf8(said);
    UnlockMovements();
    return false;
}

void TestDatabase::UnlockMovements()
{
    if (!lock_)
        return;
    lock_->write("ROLLBACK;\n");
    lock_->closeWriteChannel();
    if (!lock_->waitForFinished(30000))
        lock_->kill();
    lock_->waitForFinished();
    lock_.reset();
}
#endif

QString TestDatabase::SessionQuery() const
{
    return engine_ == TestEngine::TSql
               ? QStringLiteral("SELECT @@SPID, DB_NAME()")
               : QStringLiteral("SELECT pg_backend_pid(), current_database()");
}

QString TestDatabase::LoginQuery() const
{
    return engine_ == TestEngine::TSql ? QStringLiteral("SELECT SUSER_NAME(), DB_NAME()")
                                       : QStringLiteral("SELECT current_user, current_database()");
}

QString TestDatabase::Says(DriverSays fault) const
{
    const bool tsql = engine_ == TestEngine::TSql;
    switch (fault) {
    case DriverSays::WrongPassword:
        return tsql ? QStringLiteral("Login failed")
                    : QStringLiteral("password authentication failed");
    case DriverSays::StatementTimedOut:
        return tsql ? QStringLiteral("Timeout expired") : QStringLiteral("statement timeout");
    case DriverSays::ImpossibleDate:
        return tsql ? QStringLiteral("out of range") : QStringLiteral("out of range");
    }
    return {};
}

bool TestDatabase::StopServer()
{
    DropSessions();
    if (!RunShell(ctl_ + QStringLiteral(" stop"), {}, nullptr))
        return false;
    stopped_ = true;
    return true;
}

bool TestDatabase::StartServer()
{
    DropSessions();
    if (!RunShell(ctl_ + QStringLiteral(" start"), {}, nullptr))
        return false;
    stopped_ = false;
    return true;
}

} // namespace testsupport
