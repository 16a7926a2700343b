// Connecting and disconnecting through the real link and simulator.
#include "TerminalTestKit.h"

#include "platform/IntText.h"
#include "resources/OperatorTexts.h"
#include "terminal/ConnectDevice.h"

#include <QElapsedTimer>
#include <QTest>

class ConnectDeviceTest : public QObject {
    Q_OBJECT
private slots:
    void leadingInt_data();
    void leadingInt();
    void linkKeyOf_data();
    void linkKeyOf();
    void attempts_data();
    void attempts();
    void missingAddressWhileConnectedKeepsLink_data();
    void missingAddressWhileConnectedKeepsLink();
    void reconnects();
    void storedKeyIsUsed_data();
    void storedKeyIsUsed();
};

void ConnectDeviceTest::leadingInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("digits") << QStringLiteral("5005") << 5005;
    QTest::newRow("digits then letter") << QStringLiteral("4370x") << 4370;
    QTest::newRow("blanks and sign") << QStringLiteral("  +12") << 12;
    QTest::newRow("negative") << QStringLiteral("-3") << -3;
    QTest::newRow("no digits") << QStringLiteral("port") << 0;
    QTest::newRow("sign only") << QStringLiteral("-") << 0;
    QTest::newRow("saturates") << QStringLiteral("99999999999") << 2147483647;
    QTest::newRow("saturates low") << QStringLiteral("-99999999999") << int(-2147483647 - 1);
}

void ConnectDeviceTest::leadingInt()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(LeadingInt(text), value);
}

void ConnectDeviceTest::linkKeyOf_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("key");
    QTest::newRow("number") << QStringLiteral("4711") << 4711;
    QTest::newRow("blanks") << QStringLiteral(" 12 ") << 12;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("not a number") << QStringLiteral("12ab") << 0;
    QTest::newRow("too large") << QStringLiteral("99999999999") << 0;
}

void ConnectDeviceTest::linkKeyOf()
{
    QFETCH(QString, text);
    QFETCH(int, key);
    CConnServer record;
    record.IPKey = text;
    QCOMPARE(TerminalAddressOf(record).key, key);
}

void ConnectDeviceTest::attempts_data()
{
    QTest::addColumn<QStringList>("simOptions"); // empty: nothing listens
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("codes");
    const QString kTwo = QStringLiteral("2");
    QTest::newRow("first attempt")
        << QStringList{} << true << QStringList{kTwo, QStringLiteral("3")};
    QTest::newRow("refused once") << QStringList{QStringLiteral("--refuse"), QStringLiteral("1")}
                                  << true << QStringList{kTwo, kTwo, QStringLiteral("3")};
    QTest::newRow("refused twice") << QStringList{QStringLiteral("--refuse"), QStringLiteral("2")}
                                   << true << QStringList{kTwo, kTwo, kTwo, QStringLiteral("3")};
    QTest::newRow("refused thrice") << QStringList{QStringLiteral("--refuse"), QStringLiteral("3")}
                                    << false << QStringList{kTwo, kTwo, kTwo, QStringLiteral("4")};
    QTest::newRow("wrong key") << QStringList{QStringLiteral("--wrong-key")} << false
                               << QStringList{kTwo, kTwo, kTwo, QStringLiteral("4")};
    QTest::newRow("closed port") << QStringList{QStringLiteral("closed")} << false
                                 << QStringList{kTwo, kTwo, kTwo, QStringLiteral("4")};
}

void ConnectDeviceTest::attempts()
{
    QFETCH(QStringList, simOptions);
    QFETCH(bool, result);
    QFETCH(QStringList, codes);
    TransferRig rig;
    const testsupport::ClosedPort closed;
    if (simOptions == QStringList{QStringLiteral("closed")}) {
        rig.device.IP = QStringLiteral("127.0.0.1");
        rig.device.Port = QString::number(closed.Port());
    } else {
        QVERIFY2(rig.StartSim(simOptions), qPrintable(rig.sim.Error()));
    }
    QCOMPARE(ConnectDevice(rig.device, rig.ctx), result);
    QCOMPARE(rig.progress.codes, codes);
    QCOMPARE(rig.link.IsOpen(), result);
    // Each attempt names the address; the last note tells the outcome.
    QCOMPARE(rig.progress.notes.first().title, optext::kTryingTitle);
    QCOMPARE(rig.progress.notes.first().text, rig.device.IP);
    QCOMPARE(rig.progress.notes.last().title,
             result ? optext::kConnectedTitle : optext::kConnectFailedTitle);
}

void ConnectDeviceTest::missingAddressWhileConnectedKeepsLink_data()
{
    QTest::addColumn<bool>("connectFirst");
    QTest::addColumn<bool>("emptyIp");
    QTest::newRow("port empty, not connected") << false << false;
    QTest::newRow("port empty, connected") << true << false;
    QTest::newRow("address empty, connected") << true << true;
}

void ConnectDeviceTest::missingAddressWhileConnectedKeepsLink()
{
    QFETCH(bool, connectFirst);
    QFETCH(bool, emptyIp);
    TransferRig rig;
    QVERIFY2(rig.StartSim({}), qPrintable(rig.sim.Error()));
    if (connectFirst)
        QVERIFY(ConnectDevice(rig.device, rig.ctx));
    rig.progress.codes.clear();
    CConnServer incomplete = rig.device;
    (emptyIp ? incomplete.IP : incomplete.Port).clear();
    QVERIFY(!ConnectDevice(incomplete, rig.ctx));
    QCOMPARE(rig.progress.codes, QStringList{progress::kNoAddress});
    QCOMPARE(rig.progress.notes.last().text, optext::kNoAddressText);
    QCOMPARE(rig.link.IsOpen(), connectFirst);
    if (connectFirst) // the link still answers
        QVERIFY(rig.link.PreparePunchRead(1));
}

void ConnectDeviceTest::reconnects()
{
    // Closing an open link is the connect button's (the controller's): a
    // second connection replaces the first.
    TransferRig rig;
    QVERIFY2(rig.StartSim({}), qPrintable(rig.sim.Error()));
    QVERIFY(ConnectDevice(rig.device, rig.ctx));
    rig.progress.codes.clear();
    QVERIFY(ConnectDevice(rig.device, rig.ctx));
    QCOMPARE(rig.progress.codes, (QStringList{progress::kTrying, progress::kConnected}));
    QVERIFY(rig.link.PreparePunchRead(1));
}

void ConnectDeviceTest::storedKeyIsUsed_data()
{
    QTest::addColumn<QString>("ipKey");
    QTest::addColumn<bool>("connects");
    QTest::newRow("stored key") << QStringLiteral("4711") << true;
    QTest::newRow("other key") << QStringLiteral("4712") << false;
    QTest::newRow("empty key is 0") << QString() << false;
}

void ConnectDeviceTest::storedKeyIsUsed()
{
    QFETCH(QString, ipKey);
    QFETCH(bool, connects);
    TransferRig rig;
    QVERIFY2(rig.StartSim({QStringLiteral("--key"), QStringLiteral("4711")}),
             qPrintable(rig.sim.Error()));
    rig.device.IPKey = ipKey;
    QCOMPARE(ConnectDevice(rig.device, rig.ctx), connects);
    QCOMPARE(rig.device.IPKey, ipKey); // kept, not cleared
}

QTEST_GUILESS_MAIN(ConnectDeviceTest)
#include "tst_connect_device.moc"
