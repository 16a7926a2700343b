// The fault suite: downloads from a simulated terminal that misbehaves in
// every way we know of. After each, the download failed cleanly (nothing
// queued, the earlier export file intact, no export file where there was
// none) and the terminal takes punches again.
#include "TempDir.h"
#include "TerminalTestKit.h"

#include "terminal/ConnectDevice.h"
#include "terminal/DownloadLog.h"
#include "terminal/LinkTransport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTest>

#include <climits>

namespace {

struct FaultRig : TransferRig {
    FaultRig()
    {
        device.Name = QStringLiteral("Gate1");
        device.FilePath = Folder() + QStringLiteral("/out");
        QDir().mkpath(device.FilePath);
    }
    QString ExportPath() const { return device.FilePath + QStringLiteral("/Gate1_20240305.txt"); }
    QStringList Files() const
    {
        return QDir(device.FilePath).entryList(QDir::Files | QDir::Hidden);
    }
    MovementList movements{MoveRecList{MoveRec{QStringLiteral("stale"), QString(), QString()}}};
};

// A client that disables the terminal and then goes away without a word.
bool DisableAndLeave(SimProcess& sim, bool abort)
{
    QTcpSocket socket;
    SocketTransport transport(socket);
    LineChannel channel(transport);
    std::string_view line;
    if (!transport.Connect(sim.Address(), quint16(sim.Port()), QDeadlineTimer(2000)) ||
        channel.ReadLine(line, 2000) != LineChannel::Status::Line)
        return false;
    const ztp::Nonces nonces{QByteArray(line.data() + 12, 2 * ztp::kNonceBytes), ztp::MakeNonce()};
    const QByteArray requests =
        "AUTH " + nonces.client + ' ' + ztp::ClientProof(0, nonces) + "\nACTIVE 1 0\n";
    if (!channel.WriteAll(requests, QDeadlineTimer(2000)))
        return false;
    for (int answers = 0; answers < 2; ++answers)
        if (channel.ReadLine(line, 2000) != LineChannel::Status::Line || !line.starts_with("OK"))
            return false;
    if (abort)
        socket.abort();
    else
        socket.waitForReadyRead(3000); // silent until the terminal drops it
    return true;
}

// A session by hand: the greeting, AUTH with key 0 when authenticate is set,
// then each line and the answer to it; "closed" when the terminal closed.
QStringList Exchange(SimProcess& sim, bool authenticate, QList<QByteArray> lines)
{
    QTcpSocket socket;
    SocketTransport transport(socket);
    LineChannel channel(transport);
    std::string_view line;
    if (!transport.Connect(sim.Address(), quint16(sim.Port()), QDeadlineTimer(2000)) ||
        channel.ReadLine(line, 2000) != LineChannel::Status::Line)
        return {QStringLiteral("no greeting")};
    const ztp::Nonces nonces{QByteArray(line.data() + 12, 2 * ztp::kNonceBytes), ztp::MakeNonce()};
    if (authenticate)
        lines.prepend("AUTH " + nonces.client + ' ' + ztp::ClientProof(0, nonces));
    QStringList answers;
    for (const QByteArray& request : lines) {
        if (!channel.WriteAll(request + '\n', QDeadlineTimer(2000)) ||
            channel.ReadLine(line, 2000) != LineChannel::Status::Line)
            return answers << QStringLiteral("closed");
        const QString answer = QString::fromUtf8(line.data(), qsizetype(line.size()));
        answers.append(answer.section(u' ', 0, answer.startsWith(QLatin1String("ERR")) ? 1 : 0));
    }
    if (channel.ReadLine(line, 300) == LineChannel::Status::Closed)
        answers.append(QStringLiteral("closed"));
    return answers;
}

} // namespace

class TerminalFaultTest : public QObject {
    Q_OBJECT
private slots:
    void faults_data();
    void faults();
    void greetingWithExtraFields();
    void cancelled_data();
    void cancelled();
    void clientGoneWithoutAWord_data();
    void clientGoneWithoutAWord();
    void requestsOutOfTurn_data();
    void requestsOutOfTurn();
};

void TerminalFaultTest::faults_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("linkKey");
    QTest::addColumn<int>("readMs");
    QTest::addColumn<int>("deadlineMs");  // -1: none
    QTest::addColumn<qint64>("limit");    // 0: the link's default
    QTest::addColumn<bool>("previous");   // an export file of an earlier download exists
    QTest::addColumn<QString>("failure"); // empty: the download succeeds, keeping every punch
    QTest::addColumn<QString>("changes"); // the terminal's state changes: "01" disabled and enabled

    const int read = TransferRig::kReadMs;
    // Cut at a random point of the stream, the ends included; the point is in the row's name.
    QRandomGenerator* random = QRandomGenerator::global();
    for (const int cut : {0, int(random->bounded(1, 3000)), int(random->bounded(1, 3000)), 3000})
        QTest::addRow("cut after %d punches", cut)
            << QStringLiteral("--count 3000 --close-after %1").arg(cut) << 0 << read << -1
            << qint64(0) << (cut % 2 == 0) << QStringLiteral("closed the connection")
            << QStringLiteral("01");
    QTest::newRow("stall past the deadline")
        << QStringLiteral("--count 3000 --stall-after 200") << 0 << 5000 << 700 << qint64(0) << true
        << QStringLiteral("time allowed for this terminal ran out") << QStringLiteral("01");
    QTest::newRow("trickle below the read time-out, past the deadline")
        << QStringLiteral("--count 100 --trickle 250") << 0 << 1000 << 1200 << qint64(0) << false
        << QStringLiteral("time allowed for this terminal ran out") << QStringLiteral("01");
    QTest::newRow("wrong key") << QStringLiteral("--key 4711") << 1 << read << -1 << qint64(0)
                               << true << QStringLiteral("error 5") << QString();
    QTest::newRow("impostor") << QStringLiteral("--impostor --key 4711") << 4711 << read << -1
                              << qint64(0) << false
                              << QStringLiteral("did not prove that it holds the link key")
                              << QString();
    QTest::newRow("forged stream")
        << QStringLiteral("--count 2000 --forge-after 1200") << 0 << read << -1 << qint64(0) << true
        << QStringLiteral("authentication code did not match") << QStringLiteral("01");
    QTest::newRow("announces 2^31-1")
        << QStringLiteral("--count 2147483647") << 0 << read << -1 << qint64(0) << false
        << QStringLiteral("more than the limit of 5000000") << QStringLiteral("01");
    QTest::newRow("flood past a raised limit, stopped by the deadline")
        << QStringLiteral("--count 2147483647") << 0 << read << 400 << qint64(INT_MAX) << true
        << QStringLiteral("time allowed for this terminal ran out") << QStringLiteral("01");
    QTest::newRow("LOAD and LOG counts differ")
        << QStringLiteral("--count 5 --log-count 2") << 0 << read << -1 << qint64(0) << false
        << QStringLiteral("announces 2 punches where LOAD announced 5") << QStringLiteral("01");
    QTest::newRow("log refused") << QStringLiteral("--no-data 7") << 0 << read << -1 << qint64(0)
                                 << true << QStringLiteral("error 7") << QStringLiteral("01");
    QTest::newRow("PREPARE refused, terminal never disabled")
        << QStringLiteral("--prepare-refused") << 0 << read << -1 << qint64(0) << true
        << QStringLiteral("refused PREPARE: error 9") << QString();
    QTest::newRow("card number not UTF-8")
        << QStringLiteral("--count 50 --bad-card-after 20") << 0 << read << -1 << qint64(0) << true
        << QStringLiteral("malformed punch line after 20 punches") << QStringLiteral("01");
    QTest::newRow("year of 11 digits")
        << QStringLiteral("--count 50 --wide-int-after 30") << 0 << read << -1 << qint64(0) << true
        << QStringLiteral("malformed punch line after 30 punches") << QStringLiteral("01");
    QTest::newRow("empty log: OK 0 and an empty stream")
        << QStringLiteral("--count 0") << 0 << read << -1 << qint64(0) << true << QString()
        << QStringLiteral("01");
    QTest::newRow("enabling refused: the session is closed, which enables it")
        << QStringLiteral("--count 40 --enable-refused") << 0 << read << -1 << qint64(0) << true
        << QString() << QStringLiteral("01");
}

void TerminalFaultTest::faults()
{
    QFETCH(QString, options);
    QFETCH(int, linkKey);
    QFETCH(int, readMs);
    QFETCH(int, deadlineMs);
    QFETCH(qint64, limit);
    QFETCH(bool, previous);
    QFETCH(QString, failure);
    QFETCH(QString, changes);
    FaultRig rig;
    if (previous)
        QVERIFY(testsupport::WriteBytes(rig.ExportPath(), "previous\r\n"));
    rig.device.IPKey = QString::number(linkKey);
    rig.link.SetTimeouts(TransferRig::kConnectMs, readMs);
    if (limit > 0)
        rig.link.SetPunchLimit(limit);
    QVERIFY2(rig.StartSim(Args(options)), qPrintable(rig.sim.Error()));

    QElapsedTimer timer;
    timer.start();
    if (deadlineMs >= 0)
        rig.link.SetDeadline(QDeadlineTimer(deadlineMs));
    const bool connected = ConnectDevice(rig.device, rig.ctx);
    const bool downloaded = DownloadLog(rig.device, March(23), rig.movements, rig.ctx);
    if (failure.isEmpty()) {
        QVERIFY2(downloaded, qPrintable(rig.link.LastFailure()));
        QCOMPARE(rig.movements.size(), rig.ctx.download.announced);
        QCOMPARE(testsupport::ReadBytes(rig.ExportPath()).count('\n'), rig.movements.size());
        QVERIFY(rig.sim.WaitForActive(true, 3000));
        QCOMPARE(rig.sim.ActiveChanges(), changes);
        return;
    }
    QVERIFY(!downloaded);
    if (deadlineMs >= 0) {
        QVERIFY2(timer.elapsed() >= deadlineMs - 50, qPrintable(QString::number(timer.elapsed())));
        QVERIFY2(timer.elapsed() < deadlineMs + 1500, qPrintable(QString::number(timer.elapsed())));
    }
    QVERIFY2(rig.link.LastFailure().contains(failure), qPrintable(rig.link.LastFailure()));
    QVERIFY(rig.movements.isEmpty());
    QVERIFY(!rig.ctx.download.Cancelled());
    // A terminal never connected to (a refused key) is never disabled.
    QVERIFY(connected || changes.isEmpty());
    if (previous)
        QCOMPARE(testsupport::ReadBytes(rig.ExportPath()), QByteArray("previous\r\n"));
    QCOMPARE(rig.Files(),
             previous ? QStringList{QStringLiteral("Gate1_20240305.txt")} : QStringList{});
    QVERIFY(rig.sim.WaitForActive(true, 3000));
    QCOMPARE(rig.sim.ActiveChanges(), changes);
}

void TerminalFaultTest::greetingWithExtraFields()
{
    FaultRig rig;
    QVERIFY2(rig.StartSim(Args(QStringLiteral("--count 40 --greeting-extra model=x fw=2.1"))),
             qPrintable(rig.sim.Error()));
    QVERIFY(ConnectDevice(rig.device, rig.ctx));
    QVERIFY2(DownloadLog(rig.device, March(23), rig.movements, rig.ctx),
             qPrintable(rig.link.LastFailure()));
    QCOMPARE(rig.movements.size(), 40);
    QCOMPARE(rig.ctx.download.received, 40);
    QCOMPARE(rig.ctx.download.announced, 40);
    QCOMPARE(rig.Files(), QStringList{QStringLiteral("Gate1_20240305.txt")});
    QVERIFY(rig.sim.WaitForActive(true, 3000));
    QCOMPARE(rig.sim.ActiveChanges(), QStringLiteral("01"));
}

void TerminalFaultTest::cancelled_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<bool>("linkKept"); // the rest of the stream was read and the terminal told
    QTest::newRow("fast terminal") << QStringLiteral("--count 5000") << true;
    QTest::newRow("slow terminal") << QStringLiteral("--count 3000 --rate 2000") << false;
}

void TerminalFaultTest::cancelled()
{
    // The run gives up after 1000 punches: the rest of the stream is read if
    // it comes within a moment (the slow terminal's rest takes a second, well
    // within its read time-out), else the link is dropped; either way the
    // terminal is enabled again and nothing is kept.
    QFETCH(QString, options);
    QFETCH(bool, linkKept);
    FaultRig rig;
    rig.link.SetTimeouts(TransferRig::kConnectMs, 3000);
    QVERIFY(testsupport::WriteBytes(rig.ExportPath(), "previous\r\n"));
    QVERIFY2(rig.StartSim(Args(options)), qPrintable(rig.sim.Error()));
    QElapsedTimer sinceCancel;
    rig.ctx.onPunches = [&](qint64 received, qint64) {
        if (received < 1000)
            return true;
        sinceCancel.start();
        return false;
    };
    QVERIFY(ConnectDevice(rig.device, rig.ctx));
    QVERIFY(!DownloadLog(rig.device, March(23), rig.movements, rig.ctx));
    QVERIFY2(sinceCancel.elapsed() < NetTerminalLink::kFinishStreamMs + 400,
             qPrintable(QString::number(sinceCancel.elapsed())));
    QVERIFY(rig.ctx.download.Cancelled());
    QCOMPARE(rig.ctx.download.received, 1000);
    QVERIFY(rig.movements.isEmpty());
    QCOMPARE(testsupport::ReadBytes(rig.ExportPath()), QByteArray("previous\r\n"));
    QCOMPARE(rig.Files().size(), 1);
    QCOMPARE(rig.link.IsOpen(), linkKept);
    QVERIFY(rig.sim.WaitForActive(true, 3000));
    QCOMPARE(rig.sim.ActiveChanges(), QStringLiteral("01"));
}

void TerminalFaultTest::clientGoneWithoutAWord_data()
{
    QTest::addColumn<bool>("abort");
    QTest::newRow("client killed") << true;
    QTest::newRow("client silent past the idle time-out") << false;
}

void TerminalFaultTest::clientGoneWithoutAWord()
{
    QFETCH(bool, abort);
    SimProcess sim;
    QVERIFY2(sim.Start(Args(QStringLiteral("--idle-timeout 300"))), qPrintable(sim.Error()));
    QVERIFY(DisableAndLeave(sim, abort));
    QVERIFY(sim.WaitForActive(true, 3000));
    QCOMPARE(sim.ActiveChanges(), QStringLiteral("01"));
}

void TerminalFaultTest::requestsOutOfTurn_data()
{
    QTest::addColumn<bool>("authenticate");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QStringList>("answers"); // the AUTH's first; "closed": the terminal closed
    const QString ok = QStringLiteral("OK");
    const QString closed = QStringLiteral("closed");
    QTest::newRow("a request before AUTH ends the session")
        << false << QList<QByteArray>{"LOAD 1"} << QStringList{QStringLiteral("ERR 4"), closed};
    QTest::newRow("a malformed AUTH ends it")
        << false << QList<QByteArray>{"AUTH 00"} << QStringList{QStringLiteral("ERR 2"), closed};
    QTest::newRow("a second AUTH is refused, the session goes on")
        << true << QList<QByteArray>{"AUTH 00 11", "PREPARE 1"}
        << QStringList{ok, QStringLiteral("ERR 2"), ok};
    QTest::newRow("ACTIVE takes 0 or 1")
        << true << QList<QByteArray>{"ACTIVE 1 2"} << QStringList{ok, QStringLiteral("ERR 2")};
    QTest::newRow("SETTIME without the session's code")
        << true << QList<QByteArray>{"SETTIME 1 2024 3 5 8 7 9 " + QByteArray(64, 'a')}
        << QStringList{ok, QStringLiteral("ERR 10")};
    QTest::newRow("READ without LOAD") << true << QList<QByteArray>{"READ 1", "LASTERROR"}
                                       << QStringList{ok, QStringLiteral("ERR 8"), ok};
}

void TerminalFaultTest::requestsOutOfTurn()
{
    QFETCH(bool, authenticate);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QStringList, answers);
    SimProcess sim;
    QVERIFY2(sim.Start({}), qPrintable(sim.Error()));
    QCOMPARE(Exchange(sim, authenticate, lines), answers);
}

QTEST_GUILESS_MAIN(TerminalFaultTest)
#include "tst_terminal_faults.moc"
