#include "TestDatabase.h"

#include "store/ConnectionString.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

namespace testsupport {

namespace {

const char* const kVariables[] = {
    "ODBCSYSINI",          "ZELVOR_TEST_DB_SERVER", "ZELVOR_TEST_DB_USER",  "ZELVOR_TEST_DB_PASS",
    "ZELVOR_TEST_DB_NAME", "ZELVOR_TEST_DB_NAME2",  "ZELVOR_TEST_DB_ADMIN", "ZELVOR_TEST_DB_CTL",
};

QString Env(const char* name)
{
    return qEnvironmentVariable(name);
}

QString ErrorText(const QSqlError& error)
{
    return error.text().trimmed();
}

} // namespace

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

TestDatabase::TestDatabase()
    : server_(Env("ZELVOR_TEST_DB_SERVER")), user_(Env("ZELVOR_TEST_DB_USER")),
      pass_(Env("ZELVOR_TEST_DB_PASS")), name_(Env("ZELVOR_TEST_DB_NAME")),
      name2_(Env("ZELVOR_TEST_DB_NAME2")), admin_(Env("ZELVOR_TEST_DB_ADMIN")),
      ctl_(Env("ZELVOR_TEST_DB_CTL"))
{
}

TestDatabase::~TestDatabase()
{
    if (stopped_)
        StartServer();
}

QString TestDatabase::EnvironmentProblem()
{
    QStringList missing;
    for (const char* name : kVariables)
        if (qEnvironmentVariableIsEmpty(name))
            missing << QString::fromLatin1(name);
    if (missing.isEmpty())
        return {};
    return QStringLiteral("This test needs the test database; run it through scripts/with-testdb "
                          "(or scripts/test). Missing: ") +
           missing.join(QStringLiteral(", "));
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

bool TestDatabase::WithConnection(const QString& dbName,
                                  const std::function<bool(QSqlDatabase&)>& work)
{
    static std::atomic<int> counter{0};
    const QString connection = QStringLiteral("testdatabase-%1").arg(++counter);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), connection);
        // Built here rather than with the program's code, so the tests do not
        // read back through what they test.
        db.setDatabaseName(
            QStringLiteral("DRIVER={SQL Server};SERVER=%1;UID=%2;PWD={%3};DATABASE=%4")
                .arg(server_, user_, pass_, dbName.isEmpty() ? name_ : dbName));
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=5"));
        if (!db.open())
            lastError_ =
                QStringLiteral("cannot open the test database: ") + ErrorText(db.lastError());
        else
            ok = work(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

bool TestDatabase::Execute(const QString& sql, const QVariantList& values, const QString& dbName)
{
    return WithConnection(dbName, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        if (!query.prepare(sql)) {
            lastError_ = ErrorText(query.lastError());
            return false;
        }
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (!query.exec()) {
            lastError_ = ErrorText(query.lastError());
            return false;
        }
        return true;
    });
}

QVariant TestDatabase::QueryValue(const QString& sql, const QString& dbName)
{
    QVariant result;
    WithConnection(dbName, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
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
    return Execute(QStringLiteral("TRUNCATE tsrHrMovement, tsrHrDeviceShift"), {}, dbName);
}

bool TestDatabase::InsertDevices(const QList<DeviceFixture>& devices, const QString& dbName)
{
    for (const DeviceFixture& device : devices) {
        if (!Execute(
                QStringLiteral("INSERT INTO tsrHrDeviceShift (ID, code, Name, IP, Port, IPKey, "
                               "DevType) VALUES (?::uuid, ?, ?, ?, ?::int, ?::int, ?)"),
                {device.ID, device.code, device.Name, device.IP, device.Port, device.IPKey,
                 device.DevType},
                dbName))
            return false;
    }
    return true;
}

namespace {

const QString kInsertMovementRow = QStringLiteral(
    "INSERT INTO tsrHrMovement (ID, Number, CardNb, Date, Direction, Status, IsManual, IsDelete, "
    "IsPosted, CDate) VALUES (gen_random_uuid(), ?, ?, ?::timestamp, -1, 0, 0, 0, 0, "
    "current_date)");

} // namespace

bool TestDatabase::InsertMovementRow(double number, const QString& cardNb, const QString& date,
                                     const QString& dbName)
{
    return Execute(kInsertMovementRow, {number, cardNb, date}, dbName);
}

bool TestDatabase::InsertMovementRows(const QList<MovementRow>& rows, const QString& dbName)
{
    return WithConnection(dbName, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        if (!query.prepare(kInsertMovementRow)) {
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
    QList<MovementRow> rows;
    WithConnection(dbName, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        const bool ok = query.exec(QStringLiteral(
            "SELECT ID::text, ParentID::text, Number, CardNb, "
            "to_char(Date, 'YYYY-MM-DD HH24:MI:SS'), Direction, Status, IsManual, IsDelete, "
            "IsPosted, UserID::text, to_char(CDate, 'YYYY-MM-DD') FROM tsrHrMovement "
            "ORDER BY Number, Date, CardNb"));
        if (!ok) {
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
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (!process.waitForStarted(10000)) {
        lastError_ = QStringLiteral("cannot run: ") + command;
        return false;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        lastError_ = QStringLiteral("timed out: ") + command;
        return false;
    }
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    if (output)
        *output = out.trimmed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        lastError_ = command + QStringLiteral(" failed: ") +
                     QString::fromUtf8(process.readAllStandardError()).trimmed();
        return false;
    }
    return true;
}

bool TestDatabase::Admin(const QString& sql, QString* output, const QString& dbName)
{
    const QString command = admin_ + QStringLiteral(" -q -A -t -v ON_ERROR_STOP=1 -d ") +
                            (dbName.isEmpty() ? name_ : dbName);
    return RunShell(command, sql.toUtf8(), output);
}

bool TestDatabase::StopServer()
{
    if (!RunShell(ctl_ + QStringLiteral(" stop"), {}, nullptr))
        return false;
    stopped_ = true;
    return true;
}

bool TestDatabase::StartServer()
{
    if (!RunShell(ctl_ + QStringLiteral(" start"), {}, nullptr))
        return false;
    stopped_ = false;
    return true;
}

} // namespace testsupport
