#include "store/Records.h"

#include <QTest>

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void freshRecordsAreEmpty();
    void findConnServer_data();
    void findConnServer();
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

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
