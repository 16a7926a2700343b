// The device check's core: database texts sorted into their causes, and the
// check over the test database with a scripted terminal, where the clock and
// the terminal's answers are the test's to choose.
#include "FakeTerminalLink.h"
#include "TestDatabase.h"

#include "app/CheckDiagnosis.h"
#include "app/DeviceCheck.h"
#include "app/DeviceRun.h"
#include "app/MovementTableStep.h"
#include "app/RecordedReports.h"
#include "platform/Clock.h"
#include "terminal/ExportFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using testsupport::TestDatabase;

namespace {

const QString kId = QStringLiteral("00000000-0000-0000-0000-000000000077");
const QDateTime kNow(QDate(2024, 3, 15), QTime(10, 0));

// Keeps the deadline it had while opening, which the check sets for the device.
class WatchedLink : public FakeTerminalLink {
public:
    bool OpenLink(const QString& address, int port) override
    {
        deadlineWhileOpening = deadline;
        return FakeTerminalLink::OpenLink(address, port);
    }
    QDeadlineTimer deadlineWhileOpening{QDeadlineTimer::Forever};
};

// A terminal that sends its punches slowly, 1 ms each.
class SlowLink : public FakeTerminalLink {
public:
    bool NextPunch(int machine, CAttLogRec& punch) override
    {
        QThread::msleep(1);
        return FakeTerminalLink::NextPunch(machine, punch);
    }
};

CAttLogRec At(const QDate& day, const QTime& time)
{
    return FakeTerminalLink::Punch(QStringLiteral("7"), day, time);
}

} // namespace

class TestDeviceCheck : public QObject {
    Q_OBJECT
private slots:
    void databaseTexts_data();
    void databaseTexts();
    void aDriverOfAnotherNameNotMapped();
    void databaseEndpoint_data();
    void databaseEndpoint();
    void movementTable_data();
    void movementTable();
    void initTestCase();
    void terminalAndPunchLog_data();
    void terminalAndPunchLog();
    void aSlowLogEndsAtTheDeadline();
    void theCheckIsTheRunWithoutThePosting();

private:
    DeviceCheckTools Tools(CTerminalLink& link, const Clock& clock, int deadlineSeconds) const;

    TestDatabase db_;
    QTemporaryDir dir_;
    CConnServer device_;
};

void TestDeviceCheck::databaseTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fault");

    const QString socket =
        QStringLiteral("connection to server on socket \"/d/.s.PGSQL.5432\" failed: ");
    auto row = [](const char* name, const QString& text, DatabaseFault fault) {
        QTest::newRow(name) << text << int(fault);
    };
    row("name not in odbcinst.ini, tried as a library",
        QStringLiteral("[unixODBC][Driver Manager]Can't open lib 'SQL Server' : file not found"),
        DatabaseFault::DriverNotMapped);
    row("no data source or driver",
        QStringLiteral("[unixODBC][Driver Manager]Data source name not found and no default "
                       "driver specified"),
        DatabaseFault::DriverNotMapped);
    row("mapped to a missing library",
        QStringLiteral("[unixODBC][Driver Manager]Can't open lib "
                       "'/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so' : file not found"),
        DatabaseFault::DriverNotLoadable);
    row("psqlODBC password",
        socket + QStringLiteral("FATAL:  password authentication failed for user \"zelvor\""),
        DatabaseFault::LoginRefused);
    row("psqlODBC database", socket + QStringLiteral("FATAL:  database \"HR\" does not exist"),
        DatabaseFault::DatabaseMissing);
    row("psqlODBC silent server", socket + QStringLiteral("timeout expired"),
        DatabaseFault::ServerUnreachable);
    row("host name",
        QStringLiteral("could not translate host name \"hr-db\" to address: Name or service not "
                       "known"),
        DatabaseFault::ServerNotFound);
    row("FreeTDS login", QStringLiteral("[FreeTDS][SQL Server]Login failed for user 'zelvor'."),
        DatabaseFault::LoginRefused);
    row("FreeTDS database, which also says login failed",
        QStringLiteral("[FreeTDS][SQL Server]Cannot open database \"HR\" requested by the login. "
                       "The login failed."),
        DatabaseFault::DatabaseMissing);
    row("FreeTDS unreachable",
        QStringLiteral("[FreeTDS][SQL Server]Unable to connect to data source"),
        DatabaseFault::ServerUnreachable);
    row("login time-out",
        QStringLiteral("[Microsoft][ODBC Driver 18 for SQL Server]Login timeout expired"),
        DatabaseFault::ServerUnreachable);
    row("anything else", QStringLiteral("[FreeTDS][SQL Server]Something new"),
        DatabaseFault::Other);
}

void TestDeviceCheck::databaseTexts()
{
    QFETCH(QString, text);
    QTEST(int(ClassifyDatabaseFailure(text)), "fault");
}

void TestDeviceCheck::aDriverOfAnotherNameNotMapped()
{
    // The name tried as a library is the name that is not mapped.
    const QString text = QStringLiteral("[unixODBC][Driver Manager]Can't open lib 'ODBC Driver 18 "
                                        "for SQL Server' : file not found");
    QCOMPARE(int(ClassifyDatabaseFailure(text, QStringLiteral("ODBC Driver 18 for SQL Server"))),
             int(DatabaseFault::DriverNotMapped));
    QCOMPARE(int(ClassifyDatabaseFailure(text)), int(DatabaseFault::DriverNotLoadable));
    QVERIFY(DatabaseFaultHint(DatabaseFault::DriverNotMapped, QStringLiteral("Site Driver"))
                .startsWith(QStringLiteral("add a [Site Driver] section")));
}

void TestDeviceCheck::databaseEndpoint_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("tdsPort"); // the environment's TDSPORT
    QTest::addColumn<QString>("freeTds"); // the driver's version; empty: another driver
    QTest::addColumn<QString>("expected");
    const QString free = QStringLiteral("1.3.17");
    QTest::newRow("default") << "hr-db"
                             << ""
                             << "" << free << "host hr-db, port 1433 (the default)";
    QTest::newRow("host,port") << "hr-db, 14330"
                               << ""
                               << ""
                               << ""
                               << "host hr-db, port 14330 (from Server)";
    QTest::newRow("driver option") << "hr-db"
                                   << "TDS_Version=7.4; port = 14330"
                                   << "" << free << "host hr-db, port 14330 (driver option Port)";
    QTest::newRow("TDSPORT wins for FreeTDS")
        << "hr-db"
        << "Port=14330"
        << "14331" << free << "host hr-db, port 14331 (TDSPORT)";
    QTest::newRow("TDSPORT is FreeTDS's only") << "hr-db"
                                               << ""
                                               << "14331"
                                               << ""
                                               << "host hr-db, port 1433 (the default)";
    QTest::newRow("named instance")
        << "hr-db\\HR"
        << ""
        << "" << free
        << "host hr-db, instance HR (its port from the server's browser service, UDP port 1434)";
}

void TestDeviceCheck::databaseEndpoint()
{
    QFETCH(QString, server);
    QFETCH(QString, options);
    QFETCH(QString, tdsPort);
    QFETCH(QString, freeTds);
    const QByteArray saved = qgetenv("TDSPORT");
    const auto restore = qScopeGuard([&] { qputenv("TDSPORT", saved); });
    qputenv("TDSPORT", tdsPort.toLatin1());
    CConnServer record;
    record.Server = server;
    record.DriverOptions = options;
    record.Pass = QStringLiteral("pa}ss");
    const OdbcDriverInfo driver{QStringLiteral("/lib/driver.so"), freeTds};
    QTEST(DatabaseEndpointText(record, driver), "expected");
    // A '}' in the password cannot pass FreeTDS before 1.4.
    QCOMPARE(PasswordDriverHint(record, driver).contains(QStringLiteral("FreeTDS 1.3.17")),
             !freeTds.isEmpty());
    QVERIFY(PasswordDriverHint(record, {QString(), QStringLiteral("1.4.2")}).isEmpty());
}

void TestDeviceCheck::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY2(db_.Reset(), qPrintable(db_.LastError()));
    QVERIFY(db_.InsertDevices({{kId, QStringLiteral("C"), QStringLiteral("Gate"),
                                QStringLiteral("127.0.0.1"), 4370, 4711, 1}}));
    device_ = db_.Record();
    device_.DeviceId = kId;
    device_.Name = QStringLiteral("Gate");
    device_.FilePath = dir_.filePath(QStringLiteral("export"));
}

DeviceCheckTools TestDeviceCheck::Tools(CTerminalLink& link, const Clock& clock,
                                        int deadlineSeconds) const
{
    return DeviceCheckTools{.link = link,
                            .clock = clock,
                            .exeFolder = dir_.path(),
                            .deadlineSeconds = deadlineSeconds,
                            .connectTimeoutMs = 1000,
                            .readTimeoutMs = 1000};
}

void TestDeviceCheck::terminalAndPunchLog_data()
{
    QTest::addColumn<bool>("prepares");
    QTest::addColumn<int>("loadRefused"); // -1: the log loads
    QTest::addColumn<int>("breakAfter");
    QTest::addColumn<bool>("passes");
    QTest::addColumn<QString>("detail"); // of the punch log step
    QTest::addColumn<qint64>("inRange");
    QTest::addColumn<int>(
        "clockOffset"); // the terminal's clock against kNow; beyond 120 s a warning

    // Five punches at the edges of March 2024, checked on the 15th at 10:00:
    // the 1st at 00:00 and later on the 15th are in, the leap day before, the
    // 16th and an impossible date are not.
    QTest::newRow("month edges")
        << true << -1 << -1 << true
        << QStringLiteral("5 punches, 2 from 2024-03-01 00:00 to now (2024-03-15 10:00), 1 with "
                          "an impossible date")
        << qint64(2) << 0;
    QTest::newRow("clock 3 min behind: a warning, and the check passes")
        << true << -1 << -1 << true << QStringLiteral("5 punches, 2 from") << qint64(2) << -180;
    QTest::newRow("prepare refused: a run would fetch nothing")
        << false << -1 << -1 << false << QStringLiteral("refused to prepare a read") << qint64(-1)
        << 0;
    QTest::newRow("no data") << true << 0 << -1 << false << QStringLiteral("no punch log to give")
                             << qint64(-1) << 0;
    QTest::newRow("load refused") << true << 7 << -1 << false << QStringLiteral("(code 7)")
                                  << qint64(-1) << 0;
    QTest::newRow("stream broken")
        << true << -1 << 3 << false << QStringLiteral("broke off after 3 punches") << qint64(-1)
        << 0;
}

void TestDeviceCheck::terminalAndPunchLog()
{
    QFETCH(bool, prepares);
    QFETCH(int, loadRefused);
    QFETCH(int, breakAfter);
    QFETCH(bool, passes);
    QFETCH(QString, detail);
    QFETCH(int, clockOffset);

    WatchedLink link;
    const QDateTime terminalNow = kNow.addSecs(clockOffset);
    link.clock = TerminalTime{terminalNow.date().year(),   terminalNow.date().month(),
                              terminalNow.date().day(),    terminalNow.time().hour(),
                              terminalNow.time().minute(), terminalNow.time().second()};
    link.prepareAnswer = prepares;
    if (loadRefused >= 0)
        link.loadRefused = loadRefused;
    link.breakAfter = breakAfter;
    CAttLogRec impossible = At(QDate(2024, 3, 2), QTime(8, 0));
    impossible.Month = 13;
    link.punches = {At(QDate(2024, 2, 29), QTime(23, 59, 59)), At(QDate(2024, 3, 1), QTime(0, 0)),
                    At(QDate(2024, 3, 15), QTime(21, 0)), At(QDate(2024, 3, 16), QTime(0, 0)),
                    impossible};
    FixedClock clock(kNow);
    DeviceCheckTools tools = Tools(link, clock, 60);

    const DeviceCheckResult result = CheckDevice(device_, tools);

    QCOMPARE(result.steps.size(), kCheckStepCount);
    QCOMPARE(result.steps.at(int(CheckStep::Clock)).verdict,
             clockOffset == 0 ? Verdict::Ok : Verdict::Warning);
    QCOMPARE(result.clock.offsetSeconds, qint64(clockOffset));
    // A punch log that fails leaves the export file unreached.
    for (const StepResult& step : result.steps)
        QVERIFY2(
            step.verdict == Verdict::Ok || step.step == CheckStep::Clock ||
                (!passes && step.step == CheckStep::PunchLog) ||
                (!passes && step.step == CheckStep::ExportFile && step.verdict == Verdict::Skipped),
            qPrintable(StepName(step.step) + QStringLiteral(": ") + step.detail));
    const QString& log = result.steps.at(int(CheckStep::PunchLog)).detail;
    QVERIFY2(log.contains(detail), qPrintable(log));
    QCOMPARE(result.Passed(), passes);
    QTEST(result.inRange, "inRange");
    // The run's key and a deadline for the device; the terminal takes punches
    // again, the link is closed and without a deadline afterwards, and the
    // export file was only tried.
    QCOMPARE(link.key, 4711);
    QVERIFY(!link.deadlineWhileOpening.isForever());
    QVERIFY(link.deadlineWhileOpening.remainingTime() <= 60000);
    QVERIFY(link.deadline.isForever());
    QVERIFY(link.active);
    QVERIFY(!link.open);
    QVERIFY(QDir(device_.FilePath).isEmpty());
}

void TestDeviceCheck::aSlowLogEndsAtTheDeadline()
{
    SlowLink link;
    link.punches = QList<CAttLogRec>(5000, At(QDate(2024, 3, 2), QTime(8, 0)));
    FixedClock clock(kNow);
    DeviceCheckTools tools = Tools(link, clock, 1);
    QElapsedTimer timer;
    timer.start();

    const DeviceCheckResult result = CheckDevice(device_, tools);

    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    const StepResult* failure = result.FirstFailure();
    QVERIFY(failure);
    QCOMPARE(int(failure->step), int(CheckStep::PunchLog));
    QVERIFY2(failure->detail.contains(QStringLiteral("deadline of 1 s")),
             qPrintable(failure->detail));
    QVERIFY(!link.open);
}

void TestDeviceCheck::movementTable_data()
{
    QTest::addColumn<qint64>("rows"); // -1: the table could not be read
    QTest::addColumn<int>("indexed"); // 1, 0, or -1 when the catalog could not say
    QTest::addColumn<Verdict>("verdict");
    QTest::newRow("large, indexed") << qint64(2000000) << 1 << Verdict::Ok;
    QTest::newRow("a million, no index") << qint64(1000000) << 0 << Verdict::Ok;
    QTest::newRow("large, no index") << qint64(1000001) << 0 << Verdict::Warning;
    QTest::newRow("large, index unknown") << qint64(2000000) << -1 << Verdict::Warning;
    QTest::newRow("not readable") << qint64(-1) << -1 << Verdict::Failed;
}

void TestDeviceCheck::movementTable()
{
    QFETCH(qint64, rows);
    QFETCH(int, indexed);
    MovementTableCost cost{rows >= 0 ? std::optional(rows) : std::nullopt,
                           indexed >= 0 ? std::optional(indexed == 1) : std::nullopt,
                           QStringLiteral("ix_date_card"), 0.7, QStringLiteral("denied")};
    const StepResult step = MovementTableStep(cost);
    QTEST(step.verdict, "verdict");
    QVERIFY2(step.detail.contains(rows >= 0 ? QStringLiteral("took 0.70 s") : cost.problem),
             qPrintable(step.detail));
    QCOMPARE(step.hint.contains(kMovementIndexStatement), step.verdict == Verdict::Warning);
}

void TestDeviceCheck::theCheckIsTheRunWithoutThePosting()
{
    // The same terminal and database walked by the check and by the run:
    // every request to the terminal is the same, and so is every statement
    // but those on the movement table, which belong to the posting (or to
    // the check's measure of its cost). A step added to one way and not to
    // the other parts them.
    FixedClock clock(kNow);
    const auto walk = [&](bool check) {
        FakeTerminalLink link;
        link.clock = TerminalTime{2024, 3, 15, 10, 0, 0};
        link.punches = {At(QDate(2024, 3, 1), QTime(8, 0)), At(QDate(2024, 3, 14), QTime(17, 0))};
        QStringList statements;
        const auto trace = [&](const QString& text) {
            if (!text.contains(QStringLiteral("tsrHrMovement"), Qt::CaseInsensitive) &&
                !text.contains(QStringLiteral("zelvor_batch")) && text != QLatin1String("BEGIN") &&
                text != QLatin1String("COMMIT"))
                statements.append(text);
        };
        if (check) {
            DeviceCheckTools tools = Tools(link, clock, 60);
            tools.statementTrace = trace;
            if (!CheckDevice(device_, tools).Passed())
                return QStringList{QStringLiteral("the check failed")};
        } else {
            RecordedReports reports;
            DeviceRunTools tools{SessionTools{.link = link,
                                              .progress = reports,
                                              .messages = reports,
                                              .clock = clock,
                                              .exeFolder = dir_.path(),
                                              .deviceTimeoutSeconds = 60,
                                              .statementTrace = trace}};
            CConnServer record = device_;
            const DownloadRange range{{}, {}, FirstOfMonth(clock), clock.now()};
            if (!RunOneDevice(record, range, RunPlan(), tools).Ok())
                return QStringList{QStringLiteral("the run failed")};
        }
        return link.calls + QStringList{QStringLiteral("--")} + statements;
    };
    const QStringList checked = walk(true);
    QVERIFY2(checked.contains(QStringLiteral("prepare")), qPrintable(checked.join(u'|')));
    QCOMPARE(checked, walk(false));
    QVERIFY(QFile::exists(MakeExportPath(device_.Name, device_.FilePath, clock, dir_.path())));
}

QTEST_GUILESS_MAIN(TestDeviceCheck)
#include "tst_device_check.moc"
