// Faults and hostile terminals in an all-devices run of the real program:
// after each, the run went on with the other devices, the exit status told
// the scheduler, the terminal takes punches again, and one clean run
// afterwards leaves every punch of the range in the table exactly once.
#include "Rig.h"

#include "TempDir.h"

#include "resources/OperatorTexts.h"
#include "store/Database.h"
#include "store/Transaction.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

using testsupport::MovementRow;
using testsupport::TestDatabase;

namespace {

// The all-devices run with a deadline per device: a short one ends the
// stalls of the suite, a generous one never decides a device's outcome on a
// busy machine.
constexpr int kStallDeadlineSeconds = 25;
constexpr int kGenerousDeadlineSeconds = 120;
QStringList RunArgs(int deadlineSeconds)
{
    return {QStringLiteral("--device-timeout"), QString::number(deadlineSeconds),
            QStringLiteral("1")};
}

QStringList Keys(const QList<LogPunch>& punches)
{
    QStringList keys;
    for (const LogPunch& p : punches)
        keys.append(p.card + QLatin1Char('|') + DbDateText(p.at));
    keys.sort();
    return keys;
}

QStringList Keys(const QList<MovementRow>& rows)
{
    QStringList keys;
    for (const MovementRow& row : rows)
        keys.append(row.CardNb + QLatin1Char('|') + row.Date);
    keys.sort();
    return keys;
}

QStringList Args(const QString& text)
{
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

class TestFaultSuite : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void faultyTerminal_data();
    void faultyTerminal();
    void databaseStoppedDuringLookUp();
    void databaseStoppedDuringPosting();
    void tableLockedElsewhere();
    void unwritableExportFolder();
    void hostileDeviceName();

private:
    // Three devices, the middle one given by the caller; every punch they
    // serve is in this month's range.
    void SetUpSite(const CConnServer& middle);
    // The run with a bounded time; its result.
    ProgramInstall::Result RunAll(int deadlineSeconds = kGenerousDeadlineSeconds);
    // A clean run after the fault: every punch of the three devices, once.
    void CleanRunPostsEverythingOnce();

    std::unique_ptr<Rig> rig_;
    QList<LogPunch> first_, middle_, last_;
};

void TestFaultSuite::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestFaultSuite::init()
{
    rig_ = std::make_unique<Rig>();
    QVERIFY(rig_->install.Ready());
    QVERIFY2(rig_->db.Reset(), qPrintable(rig_->db.LastError()));
    first_ = Rig::TodayPunches(QStringLiteral("F"), 20);
    middle_ = Rig::TodayPunches(QStringLiteral("M"), 40);
    last_ = Rig::TodayPunches(QStringLiteral("L"), 10);
}

void TestFaultSuite::SetUpSite(const CConnServer& middle)
{
    QVERIFY2(!middle.Name.isEmpty(), qPrintable(rig_->Error()));
    const CConnServer first = rig_->AddDevice(1, QStringLiteral("First"), first_);
    const CConnServer last = rig_->AddDevice(3, QStringLiteral("Last"), last_);
    QVERIFY2(!first.Name.isEmpty() && !last.Name.isEmpty(), qPrintable(rig_->Error()));
    QVERIFY(rig_->install.WriteConfig({first, middle, last}));
}

ProgramInstall::Result TestFaultSuite::RunAll(int deadlineSeconds)
{
    QElapsedTimer timer;
    timer.start();
    ProgramInstall::Result run = rig_->install.Run(RunArgs(deadlineSeconds), {}, 180000);
    [&] {
        QVERIFY2(run.finished, qPrintable(run.err));
        // A run whose terminals stall ends by the devices' deadlines.
        QVERIFY2(deadlineSeconds >= kGenerousDeadlineSeconds ||
                     timer.elapsed() < 4 * deadlineSeconds * 1000,
                 "the run did not end in bounded time");
        // Whatever failed, every connection was released by the run itself.
        QVERIFY2(!run.err.contains(QStringLiteral("left to Qt's clean-up")), qPrintable(run.err));
    }();
    return run;
}

void TestFaultSuite::CleanRunPostsEverythingOnce()
{
    const ProgramInstall::Result clean = RunAll();
    QVERIFY2(clean.exitCode == 0, qPrintable(clean.err));
    QCOMPARE(Keys(rig_->db.Movements()), Keys(first_ + middle_ + last_));
}

void TestFaultSuite::faultyTerminal_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<bool>("generated"); // the terminal makes up its punches
    QTest::addColumn<QString>("reason"); // in the device's outcome line
    const int cut = 1 + int(QRandomGenerator::global()->bounded(39));
    QTest::addRow("stream cut after %d", cut)
        << QStringLiteral("--close-after %1").arg(cut) << false << "download failed";
    // A terminal gone silent is ended by the link's read time-out; one that
    // keeps talking slowly, by the device's deadline.
    QTest::newRow("stall: the read time-out ends it")
        << "--stall-after 5" << false << "timed out waiting for the terminal";
    QTest::newRow("trickle within the read time-out, past the deadline")
        << "--trickle 1000" << false << "ran out";
    QTest::newRow("wrong key") << "--key 4711" << false << "could not connect";
    QTest::newRow("impostor") << "--impostor" << false << "could not connect";
    QTest::newRow("forged stream") << "--forge-after 7" << false << "code did not match";
    QTest::newRow("PREPARE refused") << "--prepare-refused" << false << "refused PREPARE";
    QTest::newRow("2^31-1 announced and flooded")
        << "--count 2147483647" << true << "download failed";
}

void TestFaultSuite::faultyTerminal()
{
    QFETCH(QString, options);
    QFETCH(bool, generated);
    QFETCH(QString, reason);
    Rig& rig = *rig_;
    const CConnServer middle =
        generated ? rig.AddGeneratedDevice(2, QStringLiteral("Middle"), Args(options))
                  : rig.AddDevice(2, QStringLiteral("Middle"), middle_, Args(options));
    SetUpSite(middle);

    const bool trickles = QByteArray(QTest::currentDataTag()).startsWith("trickle");
    const ProgramInstall::Result run =
        RunAll(trickles ? kStallDeadlineSeconds : kGenerousDeadlineSeconds);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("First: 20 punches in range, 20 posted")),
             qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("Last: 10 punches in range, 10 posted")),
             qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("Middle: FAILED")) && run.err.contains(reason),
             qPrintable(run.err));
    QCOMPARE(Keys(rig.db.Movements()), Keys(first_ + last_));
    QVERIFY2(rig.Sim(2)->WaitForActive(true, 10000), qPrintable(rig.Sim(2)->ActiveChanges()));

    QVERIFY2(rig.ReplaceTerminal(2, middle_), qPrintable(rig.Error()));
    CleanRunPostsEverythingOnce();
}

void TestFaultSuite::databaseStoppedDuringLookUp()
{
    SetUpSite(rig_->AddDevice(2, QStringLiteral("Middle"), middle_));
    QVERIFY(rig_->db.StopServer());
    const ProgramInstall::Result run = RunAll();
    QVERIFY(rig_->db.StartServer());
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err.count(QStringLiteral(": FAILED, database: ")), 3);
    // No terminal was touched.
    for (int number = 1; number <= 3; ++number)
        QCOMPARE(rig_->Sim(number)->ActiveChanges(), QString());
    CleanRunPostsEverythingOnce();
}

void TestFaultSuite::databaseStoppedDuringPosting()
{
    SetUpSite(rig_->AddDevice(2, QStringLiteral("Middle"), middle_));
    // Every insert into the table now takes a while: the server is stopped
    // while the first device's posting waits there.
    const auto dropAtEnd = qScopeGuard([&] { rig_->db.SlowInserts(0); });
    QVERIFY2(rig_->db.SlowInserts(3), qPrintable(rig_->db.LastError()));
    std::unique_ptr<QProcess> process = rig_->install.Start(RunArgs(kGenerousDeadlineSeconds));
    QVERIFY(process);
    QString sleeping;
    for (int i = 0; i < 100 && sleeping.trimmed() != QStringLiteral("1"); ++i) {
        QThread::msleep(100);
        rig_->db.Admin(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE query LIKE "
                                      "'%tsrHrMovement%' AND wait_event = 'PgSleep'"),
                       &sleeping);
    }
    QCOMPARE(sleeping.trimmed(), QStringLiteral("1"));
    QVERIFY(rig_->db.StopServer());
    const ProgramInstall::Result run = ProgramInstall::Finish(*process, 90000);
    QVERIFY(rig_->db.StartServer());
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(
        run.err.contains(QStringLiteral("First: FAILED, 20 punches downloaded but not posted")),
        qPrintable(run.err));
    // Nothing half-posted stays.
    QVERIFY(rig_->db.Movements().isEmpty());
    QVERIFY2(rig_->db.SlowInserts(0), qPrintable(rig_->db.LastError()));
    CleanRunPostsEverythingOnce();
}

void TestFaultSuite::tableLockedElsewhere()
{
    SetUpSite(rig_->AddDevice(2, QStringLiteral("Middle"), middle_));
    {
        // Another writer holds the table for longer than the run's bound
        // (each device's lock wait ends by its deadline).
        QVERIFY2(rig_->db.LockMovements(QStringLiteral("EXCLUSIVE")),
                 qPrintable(rig_->db.LastError()));
        const ProgramInstall::Result run = RunAll(kStallDeadlineSeconds);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err.count(QStringLiteral("punches downloaded but not posted")), 3);
        for (int number = 1; number <= 3; ++number)
            QVERIFY(rig_->Sim(number)->Active());
        rig_->db.UnlockMovements();
    }
    QVERIFY(rig_->db.Movements().isEmpty());
    CleanRunPostsEverythingOnce();
}

void TestFaultSuite::unwritableExportFolder()
{
    CConnServer middle = rig_->AddDevice(2, QStringLiteral("Middle"), middle_);
    // The export folder would have to be made under a plain file.
    const QString blocker = rig_->install.Folder() + QStringLiteral("/not-a-folder");
    QVERIFY(testsupport::WriteBytes(blocker, "x"));
    middle.FilePath = blocker + QStringLiteral("/export");
    SetUpSite(middle);
    const ProgramInstall::Result run = RunAll();
    // The device failed, its line names the folder and the system's reason,
    // and nothing says the download succeeded.
    QCOMPARE(run.exitCode, 1);
    const QString line =
        run.err.section(QStringLiteral("zelvor: Middle: "), 1).section(u'\n', 0, 0);
    QVERIFY2(line.startsWith(QStringLiteral("FAILED, export file not written: cannot open the "
                                            "export file ") +
                             middle.FilePath) &&
                 line.contains(QStringLiteral("directory"), Qt::CaseInsensitive) &&
                 line.endsWith(QStringLiteral("; 40 punches in range, 40 posted, 0 already "
                                              "present, 0 refused")),
             qPrintable(run.err));
    QVERIFY2(run.err.count(optext::kDownloadedText) == 2, qPrintable(run.err)); // First, Last
    // The posting happened all the same.
    QCOMPARE(Keys(rig_->db.Movements()), Keys(first_ + middle_ + last_));
}

void TestFaultSuite::hostileDeviceName()
{
    const QString hostile = QStringLiteral("../../escape\n[Injected]\nDeviceId=666");
    SetUpSite(rig_->AddDevice(2, hostile, middle_));
    const ProgramInstall::Result run = RunAll();
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(Keys(rig_->db.Movements()), Keys(first_ + middle_ + last_));
    // One section per device, and every export file inside the export folder.
    const QString config = QString::fromUtf16(reinterpret_cast<const char16_t*>(
        testsupport::ReadBytes(rig_->install.ConfigPath()).constData() + 2));
    QCOMPARE(config.count(QStringLiteral("\nDeviceId=")), 3);
    QVERIFY(!config.contains(QStringLiteral("\n[Injected]")));
    const QDir exports(rig_->install.Folder() + QStringLiteral("/export"));
    QCOMPARE(exports.entryList(QDir::Files).size(), 3);
    QVERIFY(!QFileInfo::exists(rig_->install.Folder() + QStringLiteral("/../escape")));
    QVERIFY(QDir(rig_->install.Folder()).entryList({QStringLiteral("*escape*")}).isEmpty());
}

QTEST_GUILESS_MAIN(TestFaultSuite)
#include "tst_fault_suite.moc"
