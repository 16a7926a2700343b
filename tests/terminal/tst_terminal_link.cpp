// The TCP link against the simulator: handshake, refusals, the punch stream
// and every way the stream can fail.
#include "TerminalTestKit.h"

#include "terminal/Protocol.h"
#include "terminal/TerminalClock.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

// Reads punches until NextPunch returns false.
QList<CAttLogRec> ReadAll(NetTerminalLink& link)
{
    QList<CAttLogRec> punches;
    CAttLogRec p;
    while (link.NextPunch(1, p))
        punches.append(p);
    return punches;
}

} // namespace

class TerminalLinkTest : public QObject {
    Q_OBJECT
private slots:
    void completeStream();
    void oddCardsArriveIntact();
    void brokenStreams_data();
    void brokenStreams();
    void loadRefused_data();
    void loadRefused();
    void prepareRefusedAndWrongMachine();
    void stalledGreetingTimesOut();
    void unreadRestIsSkipped();
    void nextPunchWithoutLoad();
    void olderVersionRefused();
    void lineMustArriveWhole();
    void deadlineEndsEveryCall();
    void punchLimit();
    void drainGivesUpOnATrickle();
    void terminalTextIsShownSafely();
    void terminalClock_data();
    void terminalClock();
    void idleLinkIsKeptAndItsEndNoticed();
};

void TerminalLinkTest::completeStream()
{
    TransferRig rig;
    const QString log =
        WritePunchLog(rig.Folder(), {QStringLiteral("1042 1 0 2024 3 5 8 7 9 0"),
                                     QStringLiteral("7 2 1 2024 13 31 25 61 61 -4")});
    QVERIFY2(
        rig.StartSim({QStringLiteral("--log"), log, QStringLiteral("--key"), QStringLiteral("9")}),
        qPrintable(rig.sim.Error()));
    rig.link.SetLinkKey(9);
    QVERIFY2(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()),
             qPrintable(rig.link.LastFailure()));
    QVERIFY(rig.link.PreparePunchRead(1));
    QVERIFY(rig.link.SetTerminalActive(1, false));
    QVERIFY(rig.link.LoadPunchLog(1));
    const QList<CAttLogRec> punches = ReadAll(rig.link);
    QVERIFY2(!rig.link.StreamBroken(), qPrintable(rig.link.LastFailure()));
    QCOMPARE(punches.size(), 2);
    QCOMPARE(punches[0], (CAttLogRec{0, QStringLiteral("1042"), 1, 0, 0, 2024, 3, 5, 8, 7, 9}));
    // Impossible values pass through unchanged; judging them is the download's job.
    QCOMPARE(punches[1], (CAttLogRec{0, punches[1].CardNb, 2, 1, -4, 2024, 13, 31, 25, 61, 61}));
    QVERIFY(rig.link.SetTerminalActive(1, true));
    // A second download on the same link gets the same log again.
    QVERIFY(rig.link.LoadPunchLog(1));
    QCOMPARE(ReadAll(rig.link).size(), 2);
    rig.link.CloseLink();
    QVERIFY(!rig.link.IsOpen());
}

void TerminalLinkTest::oddCardsArriveIntact()
{
    TransferRig rig;
    QVERIFY2(rig.StartSim(Args(QStringLiteral("--odd-cards --count 12"))),
             qPrintable(rig.sim.Error()));
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QVERIFY(rig.link.LoadPunchLog(1));
    const QList<CAttLogRec> punches = ReadAll(rig.link);
    QVERIFY(!rig.link.StreamBroken());
    const QStringList expected = {QStringLiteral("12\"34"), QStringLiteral("O'Neil 7"),
                                  QStringLiteral("A\tB"),   QStringLiteral("أحمد٣٤"),
                                  QStringLiteral("x%y"),    QStringLiteral("ص-9")};
    QCOMPARE(punches.size(), 12);
    for (int i = 0; i < punches.size(); ++i)
        QCOMPARE(punches[i].CardNb, expected[i % expected.size()]);
}

void TerminalLinkTest::brokenStreams_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("delivered");
    QTest::addColumn<int>("minMs"); // a stall must wait for the read time-out
    QTest::newRow("closed mid-stream") << QStringLiteral("--count 50 --close-after 20") << 20 << 0;
    QTest::newRow("closed before the first punch")
        << QStringLiteral("--count 50 --close-after 0") << 0 << 0;
    QTest::newRow("closed before the end marker")
        << QStringLiteral("--count 50 --close-after 50") << 50 << 0;
    QTest::newRow("stalled mid-stream")
        << QStringLiteral("--count 50 --stall-after 10") << 10 << TransferRig::kReadMs - 50;
    QTest::newRow("garbage line") << QStringLiteral("--count 50 --garbage-after 30") << 30 << 0;
    QTest::newRow("oversized line") << QStringLiteral("--count 50 --oversized-after 5") << 5 << 0;
}

void TerminalLinkTest::brokenStreams()
{
    QFETCH(QString, options);
    QFETCH(int, delivered);
    QFETCH(int, minMs);
    TransferRig rig;
    QVERIFY2(rig.StartSim(Args(options)), qPrintable(rig.sim.Error()));
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QVERIFY(rig.link.LoadPunchLog(1));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(ReadAll(rig.link).size(), delivered);
    QVERIFY(timer.elapsed() >= minMs);
    QVERIFY(timer.elapsed() < TransferRig::kReadMs * 3);
    QVERIFY(rig.link.StreamBroken());
    QVERIFY(!rig.link.LastFailure().isEmpty());
    QVERIFY(!rig.link.IsOpen());
    // Nothing more comes, and later requests fail instead of hanging.
    CAttLogRec p;
    QVERIFY(!rig.link.NextPunch(1, p));
    QVERIFY(!rig.link.SetTerminalActive(1, true));
    int code = 0;
    rig.link.FetchErrorCode(code);
    QVERIFY(code < 0);
}

void TerminalLinkTest::loadRefused_data()
{
    QTest::addColumn<int>("terminalCode");
    QTest::newRow("error code") << 12;
    QTest::newRow("no data") << 0;
}

void TerminalLinkTest::loadRefused()
{
    QFETCH(int, terminalCode);
    TransferRig rig;
    QVERIFY2(rig.StartSim({QStringLiteral("--no-data"), QString::number(terminalCode)}),
             qPrintable(rig.sim.Error()));
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QVERIFY(!rig.link.LoadPunchLog(1));
    QVERIFY(!rig.link.StreamBroken());
    int code = -99;
    rig.link.FetchErrorCode(code);
    QCOMPARE(code, terminalCode);
    QVERIFY(rig.link.IsOpen());
}

void TerminalLinkTest::prepareRefusedAndWrongMachine()
{
    TransferRig rig;
    QVERIFY2(rig.StartSim({QStringLiteral("--prepare-refused")}), qPrintable(rig.sim.Error()));
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QVERIFY(!rig.link.PreparePunchRead(1));
    int code = 0;
    rig.link.FetchErrorCode(code);
    QCOMPARE(code, 9);
    QVERIFY(!rig.link.LoadPunchLog(2)); // the terminal is machine 1
    rig.link.FetchErrorCode(code);
    QCOMPARE(code, 3);
    QVERIFY(rig.link.LoadPunchLog(1));
}

void TerminalLinkTest::stalledGreetingTimesOut()
{
    TransferRig rig;
    QVERIFY2(rig.StartSim({QStringLiteral("--stall-greeting")}), qPrintable(rig.sim.Error()));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QVERIFY(timer.elapsed() >= TransferRig::kReadMs - 50);
    QVERIFY(timer.elapsed() < TransferRig::kReadMs * 3);
    int code = 0;
    rig.link.FetchErrorCode(code);
    QCOMPARE(code, -2);
}

void TerminalLinkTest::unreadRestIsSkipped()
{
    TransferRig rig;
    QVERIFY2(rig.StartSim(Args(QStringLiteral("--count 5000"))), qPrintable(rig.sim.Error()));
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QVERIFY(rig.link.LoadPunchLog(1));
    CAttLogRec p;
    QVERIFY(rig.link.NextPunch(1, p));
    // A request in the middle of the stream first reads the rest of it.
    QVERIFY(rig.link.SetTerminalActive(1, true));
    QVERIFY(!rig.link.StreamBroken());
    QVERIFY(rig.link.LoadPunchLog(1));
    QCOMPARE(ReadAll(rig.link).size(), 5000);
}

void TerminalLinkTest::nextPunchWithoutLoad()
{
    TransferRig rig;
    QVERIFY2(rig.StartSim({}), qPrintable(rig.sim.Error()));
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QVERIFY(ReadAll(rig.link).isEmpty());
    QVERIFY(rig.link.PreparePunchRead(1)); // still in step
    NetTerminalLink unopened;
    QVERIFY(!unopened.PreparePunchRead(1));
    int code = 0;
    unopened.FetchErrorCode(code);
    QCOMPARE(code, -1);
}

void TerminalLinkTest::olderVersionRefused()
{
    // Extra greeting fields, a wrong key and an impostor: the fault suite.
    TransferRig rig;
    QVERIFY2(rig.StartSim(Args(QStringLiteral("--greeting-version ZTP/1"))),
             qPrintable(rig.sim.Error()));
    QVERIFY(!rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QCOMPARE(rig.link.LastFailure(), QStringLiteral("terminal speaks ZTP/1, not ZTP/2"));
    int code = 0;
    rig.link.FetchErrorCode(code);
    QCOMPARE(code, -4);
}

void TerminalLinkTest::lineMustArriveWhole()
{
    // Each punch line comes a byte every 60 ms, so every wait for a byte is
    // short; the line as a whole takes well over the read time-out.
    TransferRig rig;
    QVERIFY2(rig.StartSim(Args(QStringLiteral("--count 3 --drip 60"))),
             qPrintable(rig.sim.Error()));
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QVERIFY(rig.link.LoadPunchLog(1));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(ReadAll(rig.link).isEmpty());
    QVERIFY(rig.link.StreamBroken());
    QVERIFY(timer.elapsed() < TransferRig::kReadMs + 300);
    QVERIFY2(rig.link.LastFailure().contains(QStringLiteral("timed out")),
             qPrintable(rig.link.LastFailure()));
}

void TerminalLinkTest::deadlineEndsEveryCall()
{
    TransferRig rig;
    QVERIFY2(rig.StartSim(Args(QStringLiteral("--count 10"))), qPrintable(rig.sim.Error()));
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    rig.link.SetDeadline(QDeadlineTimer(0));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!rig.link.PreparePunchRead(1));
    QVERIFY2(rig.link.LastFailure().contains(QStringLiteral("time allowed")),
             qPrintable(rig.link.LastFailure()));
    int code = 0;
    rig.link.FetchErrorCode(code);
    QCOMPARE(code, -2);
    QVERIFY(!rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    rig.link.FetchErrorCode(code);
    QCOMPARE(code, -2);
    QVERIFY(timer.elapsed() < 100);
    // A new deadline gives the link back.
    rig.link.SetDeadline(QDeadlineTimer(QDeadlineTimer::Forever));
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QVERIFY(rig.link.LoadPunchLog(1));
    QCOMPARE(ReadAll(rig.link).size(), 10);
}

void TerminalLinkTest::punchLimit()
{
    TransferRig rig;
    QVERIFY2(rig.StartSim(Args(QStringLiteral("--count 11"))), qPrintable(rig.sim.Error()));
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    rig.link.SetPunchLimit(10);
    QVERIFY(!rig.link.LoadPunchLog(1));
    QCOMPARE(rig.link.AnnouncedCount(), 11);
    QVERIFY(!rig.link.StreamBroken());
    int code = 0;
    rig.link.FetchErrorCode(code);
    QCOMPARE(code, -6);
    QVERIFY(rig.link.LastFailure().contains(QStringLiteral("limit of 10")));
    // The link stays in step, so the terminal can be enabled again.
    QVERIFY(rig.link.IsOpen());
    QVERIFY(rig.link.SetTerminalActive(1, true));
    rig.link.SetPunchLimit(11);
    QVERIFY(rig.link.LoadPunchLog(1));
    QCOMPARE(ReadAll(rig.link).size(), 11);
}

void TerminalLinkTest::drainGivesUpOnATrickle()
{
    // A request in the middle of a stream reads the rest for one read time-out
    // at most, then drops the link; the terminal enables itself as it ends.
    TransferRig rig;
    QVERIFY2(rig.StartSim(Args(QStringLiteral("--count 100 --trickle 150"))),
             qPrintable(rig.sim.Error()));
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QVERIFY(rig.link.SetTerminalActive(1, false));
    QVERIFY(rig.sim.WaitForActive(false, 2000));
    QVERIFY(rig.link.LoadPunchLog(1));
    CAttLogRec p;
    QVERIFY(rig.link.NextPunch(1, p));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!rig.link.SetTerminalActive(1, true));
    QVERIFY(timer.elapsed() < TransferRig::kReadMs + 300);
    QVERIFY(!rig.link.IsOpen());
    QVERIFY(rig.sim.WaitForActive(true, 2000));
    QCOMPARE(rig.sim.ActiveChanges(), QStringLiteral("01"));
}

void TerminalLinkTest::terminalTextIsShownSafely()
{
    TransferRig rig;
    // A tab, an escape sequence and a right-to-left override in the terminal's text.
    QVERIFY2(rig.StartSim({QStringLiteral("--no-data"), QStringLiteral("7"),
                           QStringLiteral("--error-text"),
                           QStringLiteral("log\t\x1b[2J\u202Eunreadable")}),
             qPrintable(rig.sim.Error()));
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QVERIFY(!rig.link.LoadPunchLog(1));
    QCOMPARE(rig.link.LastFailure(), QStringLiteral("terminal refused LOAD: error 7 log?"
                                                    "?[2J?unreadable"));
}

void TerminalLinkTest::terminalClock_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<qint64>("offset"); // -1: the reading does not authenticate
    QTest::newRow("5 min ahead") << QStringLiteral("--clock-offset 300") << qint64(300);
    QTest::newRow("a day behind") << QStringLiteral("--clock-offset=-86400") << qint64(-86400);
    QTest::newRow("in step") << QString() << qint64(0);
    QTest::newRow("forged reading") << QStringLiteral("--forge-clock") << qint64(-1);
}

void TerminalLinkTest::terminalClock()
{
    // Read against the host's clock (within the second a reading may fall
    // across), set from it, and still set in the next session.
    QFETCH(QString, options);
    QFETCH(qint64, offset);
    TransferRig rig;
    QVERIFY2(rig.StartSim(Args(options)), qPrintable(rig.sim.Error()));
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    const ClockReading before = ReadTerminalClock(rig.link, systemClock());
    if (offset == -1) {
        QVERIFY(!before.read);
        QVERIFY2(before.problem.contains(QStringLiteral("did not authenticate")),
                 qPrintable(before.problem));
        QVERIFY(!rig.link.IsOpen());
        return;
    }
    QVERIFY2(before.read, qPrintable(before.problem));
    QVERIFY2(qAbs(before.offsetSeconds - offset) <= 1,
             qPrintable(OffsetText(before.offsetSeconds)));
    const ClockReading set = SetTerminalClock(rig.link, systemClock());
    QVERIFY2(set.read && qAbs(set.offsetSeconds) <= 1, qPrintable(set.problem));
    rig.link.CloseLink();
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QVERIFY(qAbs(ReadTerminalClock(rig.link, systemClock()).offsetSeconds) <= 1);
}

void TerminalLinkTest::idleLinkIsKeptAndItsEndNoticed()
{
    // A terminal that ends a link silent for 0.7 s, looked after every 0.1 s
    // with a keep-alive after 0.2 s: the link outlives the idle time three
    // times over, then serves a request.
    TransferRig rig;
    QVERIFY2(rig.StartSim(Args(QStringLiteral("--count 3 --idle-timeout 700"))),
             qPrintable(rig.sim.Error()));
    rig.link.SetKeepAlive(200);
    QVERIFY(rig.link.OpenLink(rig.sim.Address(), rig.sim.Port()));
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 2100) {
        QVERIFY2(rig.link.TendIdle(), qPrintable(rig.link.LastFailure()));
        QTest::qWait(100);
    }
    QVERIFY(rig.link.LoadPunchLog(1));
    QCOMPARE(ReadAll(rig.link).size(), 3);

    // Left alone past the idle time, the terminal ends it: the next look says
    // so at once, without a request, and the client's code is "link closed".
    QTest::qWait(1000);
    idle.restart();
    QVERIFY(!rig.link.TendIdle());
    QVERIFY(idle.elapsed() < 100);
    QVERIFY(!rig.link.IsOpen());
    QVERIFY2(rig.link.LastFailure().contains(QStringLiteral("the terminal ended the link")),
             qPrintable(rig.link.LastFailure()));
    int code = 0;
    rig.link.FetchErrorCode(code);
    QCOMPARE(code, ztp::local::kLinkClosed);
}

QTEST_GUILESS_MAIN(TerminalLinkTest)
#include "tst_terminal_link.moc"
