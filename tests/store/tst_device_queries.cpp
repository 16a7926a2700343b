#include "TestDatabase.h"
#include "store/ConnectionString.h"
#include "store/DeviceQueries.h"
#include "store/MovementTableCost.h"

#include <QtTest>

using testsupport::DeviceFixture;
using testsupport::TestDatabase;

namespace {

// IP, Port and IPKey as one list, for comparing.
QStringList Address(const char* ip, const char* port, const char* key)
{
    return {QString::fromLatin1(ip), QString::fromLatin1(port), QString::fromLatin1(key)};
}

QString Guid(int n)
{
    return QStringLiteral("00000000-0000-0000-0000-%1").arg(n, 12, 10, QLatin1Char('0'));
}

} // namespace

// The look-ups in the suite's device table, against a real server.
class TestDeviceQueries : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void loadAddress_data();
    void loadAddress();
    void loadAddressTreatsDeviceIdAsText_data();
    void loadAddressTreatsDeviceIdAsText();
    void loadAddressLeavesOtherDatabase();
    void listShowsServerOrder();
    void listReopensWithGivenString();
    void listWithWrongPasswordThrows();
    void movementTableCostSeesTheIndex();

private:
    TestDatabase testDb_;
    RecordingMessageSink messages_;
};

void TestDeviceQueries::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestDeviceQueries::init()
{
    messages_.messages.clear();
    QVERIFY2(testDb_.Reset() && testDb_.Reset(testDb_.Name2()), qPrintable(testDb_.LastError()));
    const QList<DeviceFixture> devices = {
        {Guid(1), QStringLiteral("A"), QStringLiteral("Gate A"), QStringLiteral("127.0.0.11"), 4370,
         0, 1},
        {Guid(2), QStringLiteral("B1"), QStringLiteral("Gate B"), QStringLiteral("127.0.0.21"),
         4370, 1, 1},
        {Guid(2), QStringLiteral("B2"), QStringLiteral("Gate B"), QStringLiteral("127.0.0.22"),
         4371, 2, 1},
        {Guid(3),
         QStringLiteral("C"),
         QStringLiteral("Gate C"),
         QStringLiteral("127.0.0.31"),
         {},
         {},
         1},
        {Guid(4), QStringLiteral("D"), QStringLiteral("Printer"), QStringLiteral("127.0.0.41"),
         9100, 0, 2},
    };
    QVERIFY2(testDb_.InsertDevices(devices), qPrintable(testDb_.LastError()));
}

void TestDeviceQueries::loadAddress_data()
{
    QTest::addColumn<QString>("deviceId");
    QTest::addColumn<QStringList>("expected"); // IP, Port, IPKey

    QTest::newRow("one row") << Guid(1) << Address("127.0.0.11", "4370", "0");
    QTest::newRow("several rows: last wins") << Guid(2) << Address("127.0.0.22", "4371", "2");
    QTest::newRow("null port and key") << Guid(3) << Address("127.0.0.31", "", "");
    QTest::newRow("no row keeps the fields") << Guid(9) << Address("old-ip", "1", "7");
}

void TestDeviceQueries::loadAddress()
{
    QFETCH(QString, deviceId);
    QFETCH(QStringList, expected);

    CConnServer record = testDb_.Record();
    record.DeviceId = deviceId;
    record.IP = QStringLiteral("old-ip");
    record.Port = QStringLiteral("1");
    record.IPKey = QStringLiteral("7");
    Database db;
    LoadDeviceAddress(record, db, messages_);

    QCOMPARE((QStringList{record.IP, record.Port, record.IPKey}), expected);
    QVERIFY(messages_.messages.isEmpty());
    QVERIFY2(db.IsOpen(), "the connection stays open for the posting");
}

void TestDeviceQueries::loadAddressTreatsDeviceIdAsText_data()
{
    QTest::addColumn<QString>("deviceId");
    QTest::newRow("quote and OR") << Guid(1) + QStringLiteral("' OR Name <> '");
    QTest::newRow("second statement") << QStringLiteral("'; DELETE FROM tsrHrDeviceShift; --");
}

void TestDeviceQueries::loadAddressTreatsDeviceIdAsText()
{
    QFETCH(QString, deviceId);
    CConnServer record = testDb_.Record();
    record.DeviceId = deviceId;
    Database db;
    // No device has such an ID; the server rejects it as an identifier. SQL
    // Server reads a GUID from the first 36 characters of a longer text, so
    // there the first row's text finds device 1, and only it.
    if (testDb_.Kind() == ServerKind::SqlServer && deviceId.startsWith(Guid(1))) {
        LoadDeviceAddress(record, db, messages_);
        QCOMPARE(record.IP, QStringLiteral("127.0.0.11"));
    } else {
        QVERIFY_THROWS_EXCEPTION(DatabaseError, LoadDeviceAddress(record, db, messages_));
        QVERIFY(record.IP.isEmpty());
    }
    QCOMPARE(testDb_.QueryValue(QStringLiteral("SELECT count(*) FROM tsrHrDeviceShift")).toInt(),
             5);
}

void TestDeviceQueries::loadAddressLeavesOtherDatabase()
{
    // The connection is still open on another database (a previous device's
    // download failed); the look-up must go to this record's database.
    Database db;
    QVERIFY(EnsureOpen(db, testDb_.Record(testDb_.Name2()).ConnStr));
    CConnServer record = testDb_.Record();
    record.DeviceId = Guid(1);
    LoadDeviceAddress(record, db, messages_);
    QCOMPARE(record.IP, QStringLiteral("127.0.0.11"));
    QCOMPARE(db.ConnectionString(), record.ConnStr);
}

void TestDeviceQueries::listShowsServerOrder()
{
    Database db;
    const std::optional<QList<DeviceRow>> rows =
        ListDevices(db, testDb_.Record().ConnStr, messages_);
    QVERIFY(rows);
    const QList<DeviceRow> expected = {
        {Guid(1), QStringLiteral("Gate A")},
        {Guid(2), QStringLiteral("Gate B")},
        {Guid(2), QStringLiteral("Gate B")},
        {Guid(3), QStringLiteral("Gate C")},
    };
    QCOMPARE(rows->size(), expected.size());
    for (qsizetype i = 0; i < rows->size(); ++i) {
        QCOMPARE(rows->at(i).ID.toLower(), expected.at(i).ID);
        QCOMPARE(rows->at(i).Name, expected.at(i).Name);
    }
    QVERIFY(messages_.messages.isEmpty());
}

void TestDeviceQueries::listReopensWithGivenString()
{
    Database db;
    QVERIFY(EnsureOpen(db, testDb_.Record().ConnStr));
    // The second database has no devices: the list must come from it.
    const QString other = testDb_.Record(testDb_.Name2()).ConnStr;
    const std::optional<QList<DeviceRow>> rows = ListDevices(db, other, messages_);
    QVERIFY(rows);
    QVERIFY(rows->isEmpty());
    QVERIFY(db.IsOpen());
    QCOMPARE(db.ConnectionString(), other);
}

void TestDeviceQueries::listWithWrongPasswordThrows()
{
    CConnServer record = testDb_.Record();
    record.Pass += QStringLiteral("x");
    Database db;
    QVERIFY(EnsureOpen(db, testDb_.Record().ConnStr));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ListDevices(db, BuildConnStr(record), messages_));
    QVERIFY(!db.IsOpen());
}

// The check's look at the movement table: its rows, and the index that serves
// the duplicate check, found in either server's catalog (and then missed).
void TestDeviceQueries::movementTableCostSeesTheIndex()
{
    QVERIFY2(
        testDb_.InsertMovementRow(1, QStringLiteral("C"), QStringLiteral("2024-03-07 08:00:00")),
        qPrintable(testDb_.LastError()));
    Database db;
    QVERIFY(EnsureOpen(db, testDb_.Record().ConnStr));
    MovementTableCost cost = MeasureMovementTableCost(db);
    QVERIFY2(cost.problem.isEmpty() && cost.checkSeconds, qPrintable(cost.problem));
    QCOMPARE(cost.rows, std::optional<qint64>(1));
    QCOMPARE(cost.indexed, std::optional<bool>(true));
    QVERIFY2(cost.indexName.toLower().startsWith(QStringLiteral("tsrhrmovement_date_cardnb")),
             qPrintable(cost.indexName));

    const auto restore = qScopeGuard([&] { testDb_.Execute(kMovementIndexStatement); });
    QVERIFY2(testDb_.Admin(QStringLiteral(
                 "DO $$ DECLARE r record; BEGIN FOR r IN SELECT indexrelid::regclass AS name "
                 "FROM pg_index WHERE indrelid = 'tsrhrmovement'::regclass AND NOT indisprimary "
                 "LOOP EXECUTE 'DROP INDEX ' || r.name; END LOOP; END $$;")),
             qPrintable(testDb_.LastError()));
    QCOMPARE(MeasureMovementTableCost(db).indexed, std::optional<bool>(false));
}

QTEST_GUILESS_MAIN(TestDeviceQueries)
#include "tst_device_queries.moc"
