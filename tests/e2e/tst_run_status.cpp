#include "Rig.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using testsupport::MovementRow;
using testsupport::TestDatabase;

// The administrator's questions after a run: zelvor-settings status over what
// the real program recorded, and zelvor 1 --since posting a restored table again.
class TestRunStatus : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void statusShowsEachDevicesLastRun();
    void sinceRepostsARestoredTableOnce();

private:
    ProgramInstall::Result Status(const QStringList& args = {}) const;

    std::unique_ptr<Rig> rig_;
};

void TestRunStatus::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestRunStatus::init()
{
    rig_ = std::make_unique<Rig>();
    QVERIFY(rig_->install.Ready());
    QVERIFY2(rig_->db.Reset(), qPrintable(rig_->db.LastError()));
}

ProgramInstall::Result TestRunStatus::Status(const QStringList& args) const
{
    return rig_->install.RunProgram(QStringLiteral(ZELVOR_SETTINGS_PATH),
                                    QStringList{QStringLiteral("--file"),
                                                rig_->install.ConfigPath(),
                                                QStringLiteral("status")} +
                                        args);
}

void TestRunStatus::statusShowsEachDevicesLastRun()
{
    Rig& rig = *rig_;
    const CConnServer a =
        rig.AddDevice(1, QStringLiteral("Gate A"), Rig::TodayPunches(QStringLiteral("A"), 10));
    const CConnServer b = rig.AddUnreachableDevice(2, QStringLiteral("Gate B"));
    const CConnServer c = rig.UnknownDevice(3, QStringLiteral("Gate C"));
    QVERIFY2(!a.Name.isEmpty() && !b.Name.isEmpty(), qPrintable(rig.Error()));
    QVERIFY(rig.install.WriteConfig({a, b}));
    ProgramInstall::Result status = Status();
    QCOMPARE(status.exitCode, 1);
    QVERIFY2(status.err.contains(QStringLiteral("no device has a record")), qPrintable(status.err));

    QCOMPARE(rig.install.Run({QStringLiteral("1")}).exitCode, 1);
    QVERIFY(rig.install.WriteConfig({a, b, c}));
    status = Status();
    QCOMPARE(status.exitCode, 1);
    for (const QString& line :
         {QStringLiteral("Gate A (%1)\n  last run:       succeeded\n").arg(a.DeviceId),
          QStringLiteral(
              "  punches:        10 in range, 10 posted, 0 already present, 0 refused\n"),
          QStringLiteral(" this host's clock (read "),
          QStringLiteral("Gate B (%1)\n  last run:       FAILED, could not connect to 127.0.0.1:%2")
              .arg(b.DeviceId, rig.Port(2)),
          QStringLiteral("  punches:        none downloaded\n  terminal clock: never read\n"
                         "  last success:   none recorded\n"),
          QStringLiteral("Gate C (%1)\n  last run:       no record: it has not run yet\n")
              .arg(c.DeviceId),
          QStringLiteral("3 device(s): 1 succeeded, 1 failed, 1 without a record\nnext run: ")})
        QVERIFY2(status.out.contains(line), qPrintable(status.out));

    status = Status({QStringLiteral("--format"), QStringLiteral("json")});
    QCOMPARE(status.exitCode, 1);
    const QJsonObject json = QJsonDocument::fromJson(status.out.toUtf8()).object();
    const QJsonArray devices = json[QStringLiteral("devices")].toArray();
    const QJsonObject runA = devices.at(0)[QStringLiteral("last_run")].toObject();
    const QJsonObject runB = devices.at(1)[QStringLiteral("last_run")].toObject();
    QCOMPARE(runA[QStringLiteral("posted")].toInt(), 10);
    QVERIFY(runA[QStringLiteral("clock_offset_seconds")].isDouble());
    QCOMPARE(runB[QStringLiteral("outcome")].toString(), QStringLiteral("failed"));
    QVERIFY(runB[QStringLiteral("reason")].toString().startsWith(QStringLiteral("could not")));
    QVERIFY(devices.at(2)[QStringLiteral("last_run")].isNull());
    QCOMPARE(json[QStringLiteral("exit_status")].toInt(), 1);

    // Every device's last run succeeded: 0, for a monitoring system.
    QVERIFY(rig.install.WriteConfig({a}));
    QCOMPARE(Status({QStringLiteral("--format=text")}).exitCode, 0);
    QCOMPARE(Status({QStringLiteral("--format"), QStringLiteral("xml")}).exitCode, 2);
}

void TestRunStatus::sinceRepostsARestoredTableOnce()
{
    Rig& rig = *rig_;
    // Punches of two days before this month's range (the second the day of a
    // backup) and of today; each card once.
    const QDate today = QDate::currentDate();
    const QDate backupDay = today.addDays(-35);
    QList<LogPunch> punches;
    for (const auto& [day, hour] :
         {std::pair(today.addDays(-40), 8), std::pair(backupDay, 8), std::pair(backupDay, 9),
          std::pair(backupDay, 14), std::pair(today, 0), std::pair(today, 0)})
        punches.append({QStringLiteral("S%1").arg(punches.size()),
                        QDateTime(day, QTime(hour, int(punches.size()))), 1, 0, 0});
    const CConnServer device = rig.AddDevice(1, QStringLiteral("Gate"), punches);
    QVERIFY2(!device.Name.isEmpty(), qPrintable(rig.Error()));
    QVERIFY(rig.install.WriteConfig({device}));
    const auto since = [](const QDate& day) {
        return QStringList{QStringLiteral("--since"), day.toString(Qt::ISODate),
                           QStringLiteral("1")};
    };

    ProgramInstall::Result run = rig.install.Run(since(today.addDays(-45)));
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(rig.db.Movements().size(), 6); // Numbers 2 to 7

    // The backup was taken at noon: its rows end with Number 4.
    QVERIFY2(rig.db.Execute(QStringLiteral("DELETE FROM tsrHrMovement WHERE Number > 4")),
             qPrintable(rig.db.LastError()));
    run = rig.install.Run(since(backupDay));
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.contains(QStringLiteral(
                 "Gate: 5 punches in range, 3 posted, 2 already present, 0 refused")),
             qPrintable(run.err));
    // Numbered from the highest plus two, one for each punch in range, present or not.
    QList<double> numbers;
    for (const MovementRow& row : rig.db.Movements())
        numbers.append(row.Number);
    QCOMPARE(numbers, (QList<double>{2, 3, 4, 8, 9, 10}));

    run = rig.install.Run(since(backupDay));
    QVERIFY2(run.err.contains(QStringLiteral("5 punches in range, 0 posted, 5 already present")),
             qPrintable(run.err));
    QCOMPARE(rig.db.Movements().size(), 6);

    // A day that cannot be meant, or another start, is refused before anything is done.
    const QString status = rig.install.DevStatus();
    for (const QStringList& args :
         {since(today.addDays(1)),
          since(today).mid(0, 2) + QStringList{QStringLiteral("x"), QStringLiteral("x"),
                                               rig.install.Folder(), QStringLiteral("127.0.0.1"),
                                               rig.Port(1)}}) {
        run = rig.install.Run(args);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.startsWith(QStringLiteral("zelvor: --since ")), qPrintable(run.err));
    }
    QCOMPARE(rig.install.DevStatus(), status);
    QCOMPARE(rig.db.Movements().size(), 6);
}

QTEST_GUILESS_MAIN(TestRunStatus)
#include "tst_run_status.moc"
