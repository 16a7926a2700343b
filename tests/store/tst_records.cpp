#include "store/MovementList.h"
#include "store/Records.h"

#include <QTest>

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void freshRecordsAreEmpty();
    void findConnServer_data();
    void findConnServer();
    void movementListGivesBackWhatWasAppended();
};

void TestRecords::freshRecordsAreEmpty()
{
    const CAttLogRec punch;
    QCOMPARE(punch.Seq, 0);
    QCOMPARE(punch.Code1 + punch.Code2 + punch.Code3, 0);
    QCOMPARE(punch.Year + punch.Month + punch.Day + punch.Hour + punch.Minute + punch.Second, 0);
    QVERIFY(punch.CardNb.isEmpty());
    QCOMPARE(CConnServer(), CConnServer{});
}

void TestRecords::findConnServer_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("deviceId");
    QTest::newRow("first of two equal names") << QStringLiteral("Gate") << QStringLiteral("1");
    QTest::newRow("letter case differs") << QStringLiteral("gate") << QString();
    QTest::newRow("no such name") << QStringLiteral("Dock") << QString();
    QTest::newRow("arabic") << QStringLiteral("البوابة") << QStringLiteral("3");
    QTest::newRow("empty name") << QString() << QString();
}

void TestRecords::findConnServer()
{
    QFETCH(QString, name);
    QFETCH(QString, deviceId);
    CConnServerList devices;
    for (auto [id, n] : {std::pair{"1", "Gate"}, {"2", "Gate"}, {"3", "البوابة"}}) {
        CConnServer d;
        d.DeviceId = QString::fromUtf8(id);
        d.Name = QString::fromUtf8(n);
        d.ConnStr = QStringLiteral("DRIVER=x");
        devices.append(d);
    }
    const CConnServerList before = devices;
    const CConnServer found = FindConnServer(devices, name);
    QCOMPARE(found.DeviceId, deviceId);
    if (deviceId.isEmpty())
        QCOMPARE(found, CConnServer()); // every field empty, ConnStr included
    QCOMPARE(devices, before);
}

// Packed dates, dates that only look packable, shared and odd texts: each
// comes back exactly, in order, also after clear.
void TestRecords::movementListGivesBackWhatWasAppended()
{
    const MoveRecList movements = {
        MovementOf(CAttLogRec{1, QStringLiteral("100"), 1, 2, 0, 2024, 3, 7, 8, 5, 9}),
        {QStringLiteral("100"), QStringLiteral("0000-01-01 00:00:00 "), QStringLiteral("0")},
        {QStringLiteral("100"), QStringLiteral("9999-12-31 23:59:59 "), QStringLiteral("0")},
        {QStringLiteral("أحمد"), QStringLiteral("2024-03-07 08:05:09"), QStringLiteral("15")},
        {QStringLiteral("7 "), QStringLiteral("2024-03-07 8:05:09 "), QStringLiteral("-3")},
        {QStringLiteral("7"), QStringLiteral("2024-03-07 08:05:09  "), QStringLiteral("0")},
        {QStringLiteral("x"), QStringLiteral("2024-03-07T08:05:09 "), QStringLiteral("0")},
        {QStringLiteral("x"), QStringLiteral("٢٠٢٤-03-07 08:05:09 "), QStringLiteral("0")},
        {QString(), QString(), QString()},
        {QStringLiteral("100"), QStringLiteral("2024-03-07 08:05:09 "), QStringLiteral("2")},
    };
    MovementList list(movements);
    QCOMPARE(list.size(), movements.size());
    QCOMPARE(list.ToList(), movements);
    QCOMPARE(list.at(0).Date, QStringLiteral("2024-03-07 08:05:09 "));
    list.clear();
    QVERIFY(list.isEmpty());
    list.append(movements.at(7));
    QCOMPARE(list.ToList(), MoveRecList{movements.at(7)});

    // A punch appended as it is gives what its movement gives: plain fields
    // packed directly, any other through the texts; a card's text shared or not.
    const QString shared = QStringLiteral("1042");
    const QList<CAttLogRec> punches = {
        {0, shared, 1, 1, 0, 2024, 3, 7, 8, 5, 9},
        {0, shared, 1, 0, 0, 1000, 1, 1, 0, 0, 0},
        {0, QStringLiteral("1042"), 1, 15, 0, 9999, 12, 31, 23, 59, 59},
        {0, shared, 1, 16, 0, 2024, 3, 7, 8, 5, 9},
        {0, shared, 1, -1, 0, 999, 3, 7, 8, 5, 9},
        {0, QStringLiteral("أحمد"), 1, 0, 0, 2024, 13, 7, 100, 5, -9},
        {0, QString::fromRawData(shared.constData(), 2), 1, 0, 0, 2024, 3, 7, 8, 5, 9},
    };
    list.clear();
    MoveRecList expected;
    for (int round = 0; round < 2; ++round)
        for (const CAttLogRec& punch : punches) {
            list.append(punch);
            expected.append(MovementOf(punch));
        }
    QCOMPARE(list.ToList(), expected);
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
