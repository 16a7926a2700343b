#include "Rig.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QTest>

using testsupport::MovementRow;
using testsupport::TestDatabase;

namespace {

// Punches of today (inside the all-devices range), two seconds apart from
// first on, over 13 cards.
QList<LogPunch> Punches(int first, int count)
{
    const QDateTime midnight(QDate::currentDate(), QTime(0, 0));
    QList<LogPunch> punches;
    for (int i = first; i < first + count; ++i)
        punches.append({QStringLiteral("K%1").arg(i % 13), midnight.addSecs(2 * i), 1, 0, 0});
    return punches;
}

QString Key(const QString& card, const QString& date)
{
    return card + QLatin1Char('|') + date;
}

} // namespace

// Several workstations, each with its own installation and config.ini, run
// the all-devices command at the same moment against one database, their
// terminals holding many of the same punches. Only the database's lock on the
// movement table stands between them.
class TestConcurrentRuns : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void overlappingRunsPostEachPunchOnce();
};

void TestConcurrentRuns::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestConcurrentRuns::overlappingRunsPostEachPunchOnce()
{
    constexpr int kRuns = 4;
    constexpr int kPunches = 3000;
    Rig rig;
    QVERIFY(rig.install.Ready());
    QVERIFY2(rig.db.Reset(), qPrintable(rig.db.LastError()));
    // Each insert into the table takes a fifth of a second longer, as on a
    // busy server: without the lock, the postings' reads of the highest
    // Number and their merges then overlap in every run, not in some. The
    // database outlives this test, so the trigger goes whatever happens.
    const auto dropAtEnd = qScopeGuard([&] { rig.db.SlowInserts(0); });
    QVERIFY2(rig.db.SlowInserts(0.2), qPrintable(rig.db.LastError()));

    // Two logs that share half their punches; every workstation has a
    // terminal serving each (its own simulators, so no run waits for another's
    // download), listed in alternating order.
    const QList<LogPunch> logA = Punches(0, kPunches);
    const QList<LogPunch> logB = Punches(kPunches / 2, kPunches);
    std::vector<std::unique_ptr<ProgramInstall>> others;
    QList<ProgramInstall*> installs{&rig.install};
    for (int run = 1; run < kRuns; ++run) {
        others.push_back(std::make_unique<ProgramInstall>());
        QVERIFY(others.back()->Ready());
        installs.append(others.back().get());
    }
    for (int run = 0; run < kRuns; ++run) {
        CConnServer a = rig.AddDevice(10 * run + 1, QStringLiteral("A%1").arg(run), logA);
        CConnServer b = rig.AddDevice(10 * run + 2, QStringLiteral("B%1").arg(run), logB);
        QVERIFY2(!a.Name.isEmpty() && !b.Name.isEmpty(), qPrintable(rig.Error()));
        a.FilePath = b.FilePath = installs.at(run)->Folder() + QStringLiteral("/export");
        QVERIFY(installs.at(run)->WriteConfig(run % 2 == 0 ? CConnServerList{a, b}
                                                           : CConnServerList{b, a}));
    }

    std::vector<std::unique_ptr<QProcess>> processes;
    for (ProgramInstall* install : installs) {
        processes.push_back(install->Start({QStringLiteral("1")}));
        QVERIFY(processes.back());
    }
    for (std::size_t run = 0; run < processes.size(); ++run) {
        const ProgramInstall::Result result = ProgramInstall::Finish(*processes.at(run));
        QVERIFY2(result.finished && result.exitCode == 0,
                 qPrintable(QStringLiteral("run %1: %2").arg(run).arg(result.err)));
    }

    QSet<QString> expected;
    for (const LogPunch& punch : logA + logB)
        expected.insert(Key(punch.card, DbDateText(punch.at)));
    const QList<MovementRow> rows = rig.db.Movements();
    QSet<QString> posted;
    QSet<double> numbers;
    for (const MovementRow& row : rows) {
        const QString key = Key(row.CardNb, row.Date);
        QVERIFY2(!posted.contains(key), qPrintable(QStringLiteral("posted twice: ") + key));
        QVERIFY2(!numbers.contains(row.Number),
                 qPrintable(QStringLiteral("Number used twice: %1").arg(row.Number)));
        posted.insert(key);
        numbers.insert(row.Number);
    }
    QCOMPARE(posted, expected);
}

QTEST_GUILESS_MAIN(TestConcurrentRuns)
#include "tst_concurrent_runs.moc"
