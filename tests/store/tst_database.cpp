#include "SilentSocketServer.h"
#include "TestDatabase.h"
#include "resources/FaultTexts.h"
#include "store/ConnectionString.h"
#include "store/Database.h"
#include "store/OdbcDriver.h"
#include "store/Transaction.h"

#include <QElapsedTimer>
#include <QtTest>

#include <optional>

using testsupport::TestDatabase;

// Opening, reusing and reopening connections to a real server through ODBC.
class TestStoreDatabase : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void opensWithAwkwardPassword_data();
    void opensWithAwkwardPassword();
    void wrongPasswordThrowsDriverText();
    void opensThroughADriverOfAnotherName();
    void keepsConnectionForSameString();
    void reopensForDifferentString();
    void silentServerTimesOut();
    void rejectedStatementThrowsDriverText();
    void reportsTheServerKind();
    void transactionRollsBackUnlessCommitted_data();
    void transactionRollsBackUnlessCommitted();
    void statementWaitingOnALockTimesOut();

private:
    // The server process (or session id) and database of db's current connection.
    static QPair<qlonglong, QString> Session(Database& db);
};

QPair<qlonglong, QString> TestStoreDatabase::Session(Database& db)
{
    std::optional<QSqlQuery> query = db.Query(TestDatabase().SessionQuery());
    if (!query || !NextRow(*query))
        return {};
    return {query->value(0).toLongLong(), query->value(1).toString()};
}

void TestStoreDatabase::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestStoreDatabase::opensWithAwkwardPassword_data()
{
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("password");
    QTest::newRow("semicolon, braces, percent")
        << QStringLiteral("zelvor_odd1") << QStringLiteral("a;b{c}d%41e");
    QTest::newRow("percent escape")
        << QStringLiteral("zelvor_odd2") << QStringLiteral("50%25off+x");
    QTest::newRow("closing brace at the end")
        << QStringLiteral("zelvor_odd3") << QStringLiteral("pass}");
    QTest::newRow("blanks around")
        << QStringLiteral("zelvor_odd4") << QStringLiteral(" spaced out ");
    QTest::newRow("attribute inside")
        << QStringLiteral("zelvor_odd5") << QStringLiteral("x;DATABASE=postgres");
}

void TestStoreDatabase::opensWithAwkwardPassword()
{
    QFETCH(QString, role);
    QFETCH(QString, password);
    TestDatabase testDb;
    QVERIFY2(testDb.CreateLogin(role, password), qPrintable(testDb.LastError()));

    CConnServer record = testDb.Record();
    record.User = role;
    record.Pass = password;
    Database db;
    QString failure;
    try {
        EnsureOpen(db, BuildConnStr(record));
    } catch (const DatabaseError& error) {
        failure = error.Text();
    }
    const std::optional<OdbcDriverInfo> driver = FindOdbcDriver();
    QVERIFY(driver);
    if (password.contains(QLatin1Char('}')) && DoublesClosingBraces(*driver))
        QEXPECT_FAIL("", "FreeTDS before 1.4 sends a '}' of the password doubled", Abort);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    std::optional<QSqlQuery> query = db.Query(testDb.LoginQuery());
    QVERIFY(query && NextRow(*query));
    QCOMPARE(query->value(0).toString(), role);
    QCOMPARE(query->value(1).toString(), testDb.Name());
}

void TestStoreDatabase::opensThroughADriverOfAnotherName()
{
    // The test driver is registered under a second name too (scripts/testdb,
    // scripts/tsqldb), as a site may register its driver.
    TestDatabase testDb;
    CConnServer record = testDb.Record();
    record.Driver = QStringLiteral("Zelvor Test Driver");
    Database db;
    QVERIFY(EnsureOpen(db, BuildConnStr(record)));
    record.Driver = QStringLiteral("No Such Driver");
    QVERIFY_THROWS_EXCEPTION(DatabaseError, EnsureOpen(db, BuildConnStr(record)));
}

void TestStoreDatabase::wrongPasswordThrowsDriverText()
{
    TestDatabase testDb;
    CConnServer record = testDb.Record();
    record.Pass = QStringLiteral("not-the-password");
    Database db;
    try {
        EnsureOpen(db, BuildConnStr(record));
        QFAIL("a wrong password opened the connection");
    } catch (const DatabaseError& error) {
        QVERIFY2(error.Text().contains(testDb.Says(testsupport::DriverSays::WrongPassword)),
                 qPrintable(error.Text()));
    }
    QVERIFY(!db.IsOpen());
}

void TestStoreDatabase::keepsConnectionForSameString()
{
    TestDatabase testDb;
    Database db;
    const QString connStr = testDb.Record().ConnStr;
    QVERIFY(EnsureOpen(db, connStr));
    const auto first = Session(db);
    QVERIFY(first.first != 0);
    QVERIFY(EnsureOpen(db, connStr));
    QCOMPARE(Session(db), first);
}

void TestStoreDatabase::reopensForDifferentString()
{
    TestDatabase testDb;
    std::optional<Database::Prepared> statement; // outlives the Database below
    Database db;
    QVERIFY(EnsureOpen(db, testDb.Record().ConnStr));
    const auto first = Session(db);
    QCOMPARE(first.second, testDb.Name());
    statement = db.Prepare(QStringLiteral("UPDATE tsrHrMovement SET Status = ? WHERE 1 = 0"));
    QCOMPARE(statement->Execute({1}), 0);

    const QString other = testDb.Record(testDb.Name2()).ConnStr;
    QVERIFY(EnsureOpen(db, other));
    const auto second = Session(db);
    QCOMPARE(second.second, testDb.Name2());
    QVERIFY(second.first != first.first);
    QCOMPARE(db.ConnectionString(), other);
    // A statement of the closed connection went with it (its handle is not
    // left to be freed after its connection).
    try {
        statement->Execute({1});
        QFAIL("a statement of a closed connection ran");
    } catch (const DatabaseError& error) {
        QCOMPARE(error.Text(), faulttext::kNotOpen);
    }
}

void TestStoreDatabase::silentServerTimesOut()
{
    testsupport::SilentSocketServer silent;
    QVERIFY(silent.IsListening());
    TestDatabase testDb;
    CConnServer record = testDb.Record();
    record.Server = silent.ServerText();

    Database db;
    QElapsedTimer timer;
    timer.start();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, EnsureOpen(db, BuildConnStr(record)));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed < (Database::kDefaultLoginTimeoutSeconds + 5) * 1000,
             qPrintable(QStringLiteral("open took %1 ms").arg(elapsed)));
    QVERIFY(!db.IsOpen());
}

void TestStoreDatabase::rejectedStatementThrowsDriverText()
{
    TestDatabase testDb;
    Database db;
    QVERIFY(EnsureOpen(db, testDb.Record().ConnStr));
    try {
        db.Execute(QStringLiteral("UPDATE no_such_table SET x = ?"), {1});
        QFAIL("the statement was accepted");
    } catch (const DatabaseError& error) {
        QVERIFY2(error.Text().contains(QStringLiteral("no_such_table")), qPrintable(error.Text()));
    }
}

void TestStoreDatabase::reportsTheServerKind()
{
    TestDatabase testDb;
    Database db;
    QVERIFY(EnsureOpen(db, testDb.Record().ConnStr));
    QCOMPARE(db.Kind(), testDb.Kind());
}

void TestStoreDatabase::transactionRollsBackUnlessCommitted_data()
{
    QTest::addColumn<bool>("commit");
    QTest::addColumn<bool>("fail"); // an exception ends the scope
    QTest::addColumn<int>("rowsAfter");
    QTest::newRow("committed") << true << false << 1;
    QTest::newRow("left without commit") << false << false << 0;
    QTest::newRow("left by an exception") << true << true << 0;
}

void TestStoreDatabase::transactionRollsBackUnlessCommitted()
{
    QFETCH(bool, commit);
    QFETCH(bool, fail);
    QFETCH(int, rowsAfter);
    TestDatabase testDb;
    QVERIFY(testDb.Reset());
    Database db;
    QVERIFY(EnsureOpen(db, testDb.Record().ConnStr));
    try {
        Transaction transaction(db);
        db.Execute(QStringLiteral("INSERT INTO tsrHrMovement (ID, Number) VALUES (?, ?)"),
                   {QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"), 1.0});
        if (fail)
            db.Execute(QStringLiteral("UPDATE no_such_table SET x = 1"));
        if (commit)
            transaction.Commit();
    } catch (const DatabaseError&) {
        QVERIFY(fail);
    }
    QCOMPARE(testDb.Movements().size(), rowsAfter);
    // The connection goes on in its own commit mode.
    db.Execute(QStringLiteral("INSERT INTO tsrHrMovement (ID, Number) VALUES (?, ?)"),
               {QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FE}"), 2.0});
    QCOMPARE(testDb.Movements().size(), rowsAfter + 1);
}

void TestStoreDatabase::statementWaitingOnALockTimesOut()
{
    TestDatabase testDb;
    QVERIFY2(testDb.LockMovements(QStringLiteral("ACCESS EXCLUSIVE")),
             qPrintable(testDb.LastError()));

    Database db;
    db.SetQueryTimeout(2);
    QVERIFY(EnsureOpen(db, testDb.Record().ConnStr));
    QElapsedTimer timer;
    timer.start();
    try {
        db.Query(QStringLiteral("SELECT COUNT(*) FROM tsrHrMovement"));
        QFAIL("the query did not wait for the lock");
    } catch (const DatabaseError& error) {
        QVERIFY2(error.Text().contains(testDb.Says(testsupport::DriverSays::StatementTimedOut)),
                 qPrintable(error.Text()));
    }
    QVERIFY2(timer.elapsed() >= 1500 && timer.elapsed() < 10000,
             qPrintable(QString::number(timer.elapsed())));
    // The time-out ended the statement, not the connection (FreeTDS loses
    // its connection to the test engine when it cancels the statement).
    testDb.UnlockMovements();
    if (testDb.Kind() == ServerKind::PostgreSQL)
        QVERIFY(db.Query(QStringLiteral("SELECT COUNT(*) FROM tsrHrMovement")));
}

QTEST_GUILESS_MAIN(TestStoreDatabase)
#include "tst_database.moc"
