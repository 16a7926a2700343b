// The device session on its own, over a scripted terminal and no database:
// its steps in their order and each only after the ones before succeeded, the
// device's deadline, and the one reopening of the operator's link.
#include "FakeTerminalLink.h"

#include "app/DeviceSession.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

const QDateTime kNow(QDate(2024, 3, 15), QTime(10, 0));

// A terminal that sends its punches slowly, 2 ms each.
class SlowLink : public FakeTerminalLink {
public:
    bool NextPunch(int machine, CAttLogRec& punch) override
    {
        QThread::msleep(2);
        return FakeTerminalLink::NextPunch(machine, punch);
    }
};

} // namespace

class TestDeviceSession : public QObject {
    Q_OBJECT
private slots:
    void init();
    void stepsInOrder_data();
    void stepsInOrder();
    void theDeadlineEndsTheSession();
    void theOperatorsLinkIsOpenedAgainOnce_data();
    void theOperatorsLinkIsOpenedAgainOnce();

private:
    SessionResult Walk(CTerminalLink& link, const SessionPlan& plan, int deadlineSeconds = 0);

    QTemporaryDir dir_;
    CConnServer record_;
    FixedClock clock_{kNow};
    RecordingProgress progress_;
    RecordingMessageSink messages_;
    FakeTerminalLink link_;
};

void TestDeviceSession::init()
{
    // No database in config.ini: the terminal is the record's own.
    record_ = CConnServer();
    record_.Name = QStringLiteral("Gate");
    record_.IP = QStringLiteral("10.0.0.9");
    record_.Port = QStringLiteral("4370");
    record_.IPKey = QStringLiteral("12");
    record_.FilePath = dir_.path();
    link_ = FakeTerminalLink();
    link_.clock = TerminalTime{2024, 3, 15, 10, 0, 0};
    link_.punches = {FakeTerminalLink::Punch(QStringLiteral("1"), kNow.date())};
}

SessionResult TestDeviceSession::Walk(CTerminalLink& link, const SessionPlan& plan,
                                      int deadlineSeconds)
{
    MovementList movements;
    DeviceSession session(record_, SessionTools{.link = link,
                                                .progress = progress_,
                                                .messages = messages_,
                                                .clock = clock_,
                                                .exeFolder = dir_.path(),
                                                .deviceTimeoutSeconds = deadlineSeconds});
    const DownloadRange range{{}, {}, QDateTime(kNow.date(), QTime(0, 0)), kNow};
    return session.Walk(plan, range, movements);
}

void TestDeviceSession::stepsInOrder_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("failedAt");
    QTest::addColumn<QString>("calls");
    const QString open = QStringLiteral("key 12,open 10.0.0.9:4370,");
    QTest::newRow("every step") << "" << int(SessionStep::Done)
                                << open +
                                       QStringLiteral("time,prepare,active 0,load,active 1,close");
    QTest::newRow("refused: nothing after the connection")
        << "refused" << int(SessionStep::Connect)
        << "key 12,open 10.0.0.9:4370,open 10.0.0.9:4370,open 10.0.0.9:4370";
    QTest::newRow("no clock: the download goes on")
        << "no clock" << int(SessionStep::Done)
        << open + QStringLiteral("time,prepare,active 0,load,active 1,close");
    QTest::newRow("PREPARE refused")
        << "prepare" << int(SessionStep::Download)
        << open + QStringLiteral("time,prepare,error code,active 1,close");
    QTest::newRow("export folder under a file")
        << "export" << int(SessionStep::Export)
        << open + QStringLiteral("time,prepare,active 0,load,active 1,close");
}

void TestDeviceSession::stepsInOrder()
{
    QFETCH(QString, fault);
    QFETCH(int, failedAt);
    QFETCH(QString, calls);
    if (fault == QLatin1String("refused"))
        link_.neverOpens = true;
    else if (fault == QLatin1String("no clock"))
        link_.clock.reset();
    else if (fault == QLatin1String("prepare"))
        link_.prepareAnswer = false;
    else if (fault == QLatin1String("export"))
        record_.FilePath = QCoreApplication::applicationFilePath() + QStringLiteral("/export");
    SessionPlan plan;
    plan.terminal = SessionPlan::Terminal::Record;
    plan.readClock = true;
    const SessionResult result = Walk(link_, plan);
    QCOMPARE(int(result.failedAt), failedAt);
    QCOMPARE(link_.calls.join(u','), calls);
    QCOMPARE(result.failure.isEmpty(), result.Ok());
    QCOMPARE(result.Downloaded(), failedAt >= int(SessionStep::Export));
    QVERIFY(!link_.open);
    QVERIFY(link_.active);
}

void TestDeviceSession::theDeadlineEndsTheSession()
{
    SlowLink link;
    link.clock = link_.clock;
    link.punches = QList<CAttLogRec>(5000, link_.punches.first());
    SessionPlan plan;
    plan.terminal = SessionPlan::Terminal::Record;
    QElapsedTimer timer;
    timer.start();
    const SessionResult result = Walk(link, plan, 1);
    // Ended by the deadline, not by the log's end (5000 punches take 10 s).
    QVERIFY2(timer.elapsed() < 8000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(result.deadlinePassed);
    QCOMPARE(int(result.failedAt), int(SessionStep::Download));
    QVERIFY2(result.failure.contains(QStringLiteral("ran out")), qPrintable(result.failure));
    QVERIFY(!link.open && link.active);
    QVERIFY(link.deadline.isForever()); // the next session starts without it
}

void TestDeviceSession::theOperatorsLinkIsOpenedAgainOnce_data()
{
    QTest::addColumn<bool>("reopens");
    QTest::newRow("opened again") << true;
    QTest::newRow("cannot be opened again") << false;
}

void TestDeviceSession::theOperatorsLinkIsOpenedAgainOnce()
{
    QFETCH(bool, reopens);
    link_.open = true;
    link_.endsIdleLink = true;
    link_.neverOpens = !reopens;
    SessionPlan plan;
    plan.terminal = SessionPlan::Terminal::OpenLink;
    plan.linkAddress = TerminalAddressOf(record_);
    const SessionResult result = Walk(link_, plan);
    QVERIFY(result.reopened);
    QCOMPARE(result.Ok(), reopens);
    QCOMPARE(link_.calls.filter(QStringLiteral("ended by the terminal")).size(), 1);
    // The connection's own attempts, and no other reopening after them.
    QCOMPARE(link_.calls.filter(QStringLiteral("open ")).size(), reopens ? 1 : 3);
    // The operator's link outlives the session.
    QCOMPARE(link_.open, reopens);
}

QTEST_GUILESS_MAIN(TestDeviceSession)
#include "tst_device_session.moc"
