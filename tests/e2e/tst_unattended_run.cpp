#include "Rig.h"

#include "TempDir.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using testsupport::MovementRow;
using testsupport::TestDatabase;

namespace {

QStringList Cards(const QList<MovementRow>& rows)
{
    QStringList cards;
    for (const MovementRow& row : rows)
        cards.append(row.CardNb);
    cards.sort();
    return cards;
}

QStringList Cards(const QList<LogPunch>& punches)
{
    QStringList cards;
    for (const LogPunch& p : punches)
        cards.append(p.card);
    cards.sort();
    return cards;
}

QString ExportFile(const Rig& rig, const QString& name)
{
    return rig.install.Folder() +
           QStringLiteral("/export/%1_%2.txt")
               .arg(name, QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
}

// The all-devices command line as the command generator writes it.
const QStringList kAllDevices{QStringLiteral("1")};

ProgramInstall::Result Status(const Rig& rig, const QStringList& args = {})
{
    return rig.install.RunProgram(
        QStringLiteral(ZELVOR_SETTINGS_PATH),
        QStringList{QStringLiteral("--file"), rig.install.ConfigPath(), QStringLiteral("status")} +
            args);
}

} // namespace

// The unattended all-devices run: the real program against simulated terminals
// and the test database.
class TestUnattendedRun : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void everyDeviceIsTriedAndTheGoodOnesPosted();
    void aFailedDeviceDoesNotSendTheNextLookUpToItsDatabase();
    void aBrokenDownloadPostsNothingAndKeepsTheOldExport();
    void aDatabaseThatIsDownFailsEveryDeviceWithoutHanging();
    void aRefusedRowIsReportedAndTheOthersPosted();
    void aParallelRunReportsInOrderAndWritesMetrics();
    // The administrator's questions after a run: zelvor-settings status over
    // what the program recorded, and --since posting a restored table again.
    void statusShowsEachDevicesLastRun();
    void sinceRepostsARestoredTableOnce();

private:
    std::unique_ptr<Rig> rig_;
};

void TestUnattendedRun::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestUnattendedRun::init()
{
    rig_ = std::make_unique<Rig>();
    QVERIFY(rig_->install.Ready());
    QVERIFY2(rig_->db.Reset(), qPrintable(rig_->db.LastError()));
    QVERIFY2(rig_->db.Reset(rig_->db.Name2()), qPrintable(rig_->db.LastError()));
}

void TestUnattendedRun::everyDeviceIsTriedAndTheGoodOnesPosted()
{
    Rig& rig = *rig_;
    const QList<LogPunch> first = Rig::TodayPunches(QStringLiteral("A"), 30);
    const QList<LogPunch> third = Rig::TodayPunches(QStringLiteral("C"), 20);
    const CConnServer a = rig.AddDevice(1, QStringLiteral("Gate A"), first);
    const CConnServer b = rig.AddUnreachableDevice(2, QStringLiteral("Gate B"));
    const CConnServer c = rig.AddDevice(3, QStringLiteral("Gate C"), third);
    const CConnServer d = rig.UnknownDevice(4, QStringLiteral("Gate D"));
    QVERIFY2(!a.Name.isEmpty() && !b.Name.isEmpty() && !c.Name.isEmpty(), qPrintable(rig.Error()));
    QVERIFY(rig.install.WriteConfig({a, b, c}));

    ProgramInstall::Result run = rig.install.Run(kAllDevices);
    QVERIFY2(run.finished, qPrintable(run.err));
    QCOMPARE(run.exitCode, 1); // Gate B failed
    QVERIFY2(run.err.contains(QStringLiteral("Gate B: FAILED, could not connect")),
             qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("Gate C: 20 punches in range, 20 posted")),
             qPrintable(run.err));
    QCOMPARE(rig.install.DevStatus(), QStringLiteral("7"));

    const QList<MovementRow> rows = rig.db.Movements();
    QCOMPARE(Cards(rows), Cards(first + third));
    // Each posting numbers on from the table's highest Number plus two: Gate A
    // gets 2..31 in the empty table, Gate C 33..52.
    QCOMPARE(rows.first().Number, 2.0);
    QCOMPARE(rows.at(29).Number, 31.0);
    QCOMPARE(rows.at(30).Number, 33.0);
    QCOMPARE(rows.last().Number, 52.0);
    QCOMPARE(rows.first().Date, DbDateText(first.first().at));
    QCOMPARE(rows.first().CDate, QDate::currentDate().toString(Qt::ISODate));

    // The export files hold one CR LF line per punch.
    const QByteArray exportA = testsupport::ReadBytes(ExportFile(rig, QStringLiteral("Gate A")));
    QCOMPARE(exportA.count("\r\n"), 30);
    QVERIFY(exportA.startsWith("A0\t"));

    // A second run inserts nothing new; a device the suite does not know fails
    // with code "1" and does not stop the others.
    QVERIFY(rig.install.WriteConfig({d, a, c}));
    run = rig.install.Run(kAllDevices);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("Gate D: FAILED, no terminal address")),
             qPrintable(run.err));
    QCOMPARE(rig.install.DevStatus(), QStringLiteral("7"));
    QCOMPARE(rig.db.Movements().size(), rows.size());
    QVERIFY(rig.install.WriteConfig({a, c}));
    run = rig.install.Run(kAllDevices);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.contains(
                 QStringLiteral("Gate A: 30 punches in range, 0 posted, 30 already present")),
             qPrintable(run.err));
}

void TestUnattendedRun::aFailedDeviceDoesNotSendTheNextLookUpToItsDatabase()
{
    Rig& rig = *rig_;
    const QList<LogPunch> punches = Rig::TodayPunches(QStringLiteral("K"), 5);
    const CConnServer first = rig.AddUnreachableDevice(1, QStringLiteral("First"));
    // The second device is known only in the second database.
    const CConnServer second =
        rig.AddDevice(2, QStringLiteral("Second"), punches, {}, rig.db.Name2());
    QVERIFY2(!first.Name.isEmpty() && !second.Name.isEmpty(), qPrintable(rig.Error()));
    QVERIFY(rig.install.WriteConfig({first, second}));

    const ProgramInstall::Result run = rig.install.Run(kAllDevices);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(rig.install.DevStatus(), QStringLiteral("7"));
    QCOMPARE(Cards(rig.db.Movements(rig.db.Name2())), Cards(punches));
    QVERIFY(rig.db.Movements().isEmpty());
}

void TestUnattendedRun::aBrokenDownloadPostsNothingAndKeepsTheOldExport()
{
    Rig& rig = *rig_;
    const QList<LogPunch> punches = Rig::TodayPunches(QStringLiteral("M"), 40);
    const CConnServer broken =
        rig.AddDevice(1, QStringLiteral("Broken"), punches,
                      {QStringLiteral("--close-after"), QStringLiteral("10")});
    const CConnServer refusing = rig.AddDevice(2, QStringLiteral("Refusing"), punches,
                                               {QStringLiteral("--no-data"), QStringLiteral("0")});
    const CConnServer good = rig.AddDevice(3, QStringLiteral("Good"), punches);
    QVERIFY2(!broken.Name.isEmpty() && !refusing.Name.isEmpty() && !good.Name.isEmpty(),
             qPrintable(rig.Error()));
    QVERIFY(rig.install.WriteConfig({broken, refusing, good}));
    QVERIFY(QDir().mkpath(rig.install.Folder() + QStringLiteral("/export")));
    const QString oldExport = ExportFile(rig, QStringLiteral("Broken"));
    QVERIFY(testsupport::WriteBytes(oldExport, "earlier download\r\n"));

    const ProgramInstall::Result run = rig.install.Run(kAllDevices);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("Broken: FAILED, download failed")),
             qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("No data from terminal returns!")),
             qPrintable(run.err));
    QCOMPARE(testsupport::ReadBytes(oldExport), QByteArray("earlier download\r\n"));
    // Only the good device's punches arrive; its terminal was reached normally
    // after the two failures.
    QCOMPARE(Cards(rig.db.Movements()), Cards(punches));
    QCOMPARE(rig.install.DevStatus(), QStringLiteral("7"));
}

void TestUnattendedRun::aDatabaseThatIsDownFailsEveryDeviceWithoutHanging()
{
    Rig& rig = *rig_;
    const QList<LogPunch> punches = Rig::TodayPunches(QStringLiteral("Q"), 3);
    CConnServer wrongDb = rig.AddDevice(1, QStringLiteral("Wrong db"), punches);
    wrongDb.DbName = QStringLiteral("no_such_database");
    const CConnServer good = rig.AddDevice(2, QStringLiteral("Good"), punches);
    QVERIFY2(!wrongDb.Name.isEmpty() && !good.Name.isEmpty(), qPrintable(rig.Error()));
    QVERIFY(rig.install.WriteConfig({wrongDb, good}));

    // A database that refuses the login fails its device; the next device still runs.
    ProgramInstall::Result run = rig.install.Run(kAllDevices);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("Wrong db: FAILED, database:")), qPrintable(run.err));
    QCOMPARE(Cards(rig.db.Movements()), Cards(punches));

    // The server down: every device fails, quickly, with a clear line each.
    QVERIFY2(rig.db.StopServer(), qPrintable(rig.db.LastError()));
    run = rig.install.Run(kAllDevices, {}, 60000);
    QVERIFY(rig.db.StartServer());
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("Good: FAILED, database:")), qPrintable(run.err));
    QVERIFY2(run.elapsedMs < 30000, qPrintable(QString::number(run.elapsedMs)));
}

void TestUnattendedRun::aRefusedRowIsReportedAndTheOthersPosted()
{
    Rig& rig = *rig_;
    QList<LogPunch> punches = Rig::TodayPunches(QStringLiteral("R"), 3);
    punches[1].card = QString(60, QLatin1Char('9')); // longer than the column allows
    const CConnServer device = rig.AddDevice(1, QStringLiteral("Gate"), punches);
    QVERIFY2(!device.Name.isEmpty(), qPrintable(rig.Error()));
    QVERIFY(rig.install.WriteConfig({device}));

    const ProgramInstall::Result run = rig.install.Run(kAllDevices);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral(
                 "Gate: 3 punches in range, 2 posted, 0 already present, 1 refused")),
             qPrintable(run.err));
    // The driver's text is reported once through the program's own message,
    // and its own warning is kept once, naming the device.
    QCOMPARE(run.err.count(QStringLiteral("value too long")), 2);
    for (const char* line : {"Database error: ", "ODBC driver: QODBC"})
        QVERIFY2(
            run.err.count(QRegularExpression(QStringLiteral("(?m)^zelvor: Gate: %1.*value too long")
                                                 .arg(QLatin1String(line)))) == 1,
            qPrintable(run.err));
    QCOMPARE(rig.db.Movements().size(), 2);
}

void TestUnattendedRun::aParallelRunReportsInOrderAndWritesMetrics()
{
    Rig& rig = *rig_;
    const QList<LogPunch> a = Rig::TodayPunches(QStringLiteral("A"), 10);
    const QList<LogPunch> c = Rig::TodayPunches(QStringLiteral("C"), 5);
    const QList<LogPunch> e = Rig::TodayPunches(QStringLiteral("E"), 3);
    // A slow first terminal: the later ones finish first but report after it.
    const CConnServerList devices{
        rig.AddDevice(1, QStringLiteral("Gate A"), a),
        rig.AddUnreachableDevice(2, QStringLiteral("Gate \"B\"")),
        rig.AddDevice(3, QStringLiteral("Gate C"), c),
        rig.UnknownDevice(4, QStringLiteral("Gate D")),
        rig.AddDevice(5, QStringLiteral("Gate E"), e, {QStringLiteral("--clock-offset=-200")})};
    QVERIFY2(!devices.at(4).Name.isEmpty(), qPrintable(rig.Error()));
    QVERIFY(rig.install.WriteConfig(devices));
    const QString metrics = rig.install.Folder() + QStringLiteral("/zelvor.prom");
    rig.install.SetEnvironment(QStringLiteral("ZELVOR_METRICS_FILE"), metrics);

    ProgramInstall::Result run = rig.install.Run(kAllDevices);
    QVERIFY2(run.finished, qPrintable(run.err));
    QCOMPARE(run.exitCode, 1);
    QStringList order;
    for (const QString& line : run.err.split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("zelvor: Gate ")) && line.contains(QStringLiteral(", ")))
            order.append(line.mid(13, 1));
    QCOMPARE(order, (QStringList{QStringLiteral("A"), QStringLiteral("\""), QStringLiteral("C"),
                                 QStringLiteral("D"), QStringLiteral("E")}));
    QCOMPARE(rig.install.DevStatus(), QStringLiteral("7"));
    QCOMPARE(rig.db.Movements().size(), 18);
    // Postings take turns in list order: Gate A's numbers come first.
    QCOMPARE(rig.db.Movements().first().CardNb.left(1), QStringLiteral("A"));

    const QString text = QString::fromUtf8(testsupport::ReadBytes(metrics));
    QCOMPARE(testsupport::FileMode(metrics), 0644);
    for (const char* sample :
         {"zelvor_run_exit_status 1\n", "zelvor_run_devices 5\n",
          "zelvor_device_failed{device=\"Gate \\\"B\\\"\",device_id=\"00000000-0000-0000-0000-"
          "000000000002\"} 1\n",
          "zelvor_device_punches_posted{device=\"Gate A\",device_id=\"00000000-0000-0000-0000-"
          "000000000001\"} 10\n",
          "zelvor_device_last_success_timestamp_seconds{device=\"Gate E\""})
        QVERIFY2(text.contains(QLatin1String(sample)), sample);
    QVERIFY(!text.contains(QStringLiteral("last_success_timestamp_seconds{device=\"Gate D\"")));
    // Gate E's clock is 200 s behind: a warning, a metric, and its punches as they are.
    QVERIFY2(
        text.contains(QRegularExpression(QStringLiteral(
            "zelvor_device_clock_offset_seconds\\{device=\"Gate E\",[^}]*\\} -(199|200|201)\n"))),
        qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("zelvor_device_clock_offset_seconds{device=\"Gate A\"")));
    QCOMPARE(run.err.count(QStringLiteral("warning: Gate E: the terminal's clock is 3 min")), 1);
    QCOMPARE(run.err.count(QStringLiteral("clock is")), 1);

    // A metrics file that cannot be written: one warning, the same outcome.
    rig.install.SetEnvironment(QStringLiteral("ZELVOR_METRICS_FILE"),
                               rig.install.Folder() + QStringLiteral("/missing/zelvor.prom"));
    run = rig.install.Run(
        {QStringLiteral("--clock-limit"), QStringLiteral("300"), QStringLiteral("1")});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err.count(QStringLiteral("warning: cannot write the metrics file")), 1);
    QVERIFY(!run.err.contains(QStringLiteral("clock is")));
}

void TestUnattendedRun::statusShowsEachDevicesLastRun()
{
    Rig& rig = *rig_;
    const CConnServer a =
        rig.AddDevice(1, QStringLiteral("Gate A"), Rig::TodayPunches(QStringLiteral("A"), 10));
    const CConnServer b = rig.AddUnreachableDevice(2, QStringLiteral("Gate B"));
    const CConnServer c = rig.UnknownDevice(3, QStringLiteral("Gate C"));
    QVERIFY2(!a.Name.isEmpty() && !b.Name.isEmpty(), qPrintable(rig.Error()));
    QVERIFY(rig.install.WriteConfig({a, b}));
    QVERIFY(Status(rig).err.contains(QStringLiteral("no device has a record")));

    QCOMPARE(rig.install.Run(kAllDevices).exitCode, 1);
    QVERIFY(rig.install.WriteConfig({a, b, c}));
    ProgramInstall::Result status = Status(rig);
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

    status = Status(rig, {QStringLiteral("--format"), QStringLiteral("json")});
    QCOMPARE(status.exitCode, 1);
    const QJsonObject json = QJsonDocument::fromJson(status.out.toUtf8()).object();
    const QJsonArray devices = json[QStringLiteral("devices")].toArray();
    const QJsonObject runA = devices.at(0)[QStringLiteral("last_run")].toObject();
    const QJsonObject runB = devices.at(1)[QStringLiteral("last_run")].toObject();
    QCOMPARE(runA[QStringLiteral("posted")].toInt(), 10);
    QVERIFY(runB[QStringLiteral("reason")].toString().startsWith(QStringLiteral("could not")));
    QVERIFY(devices.at(2)[QStringLiteral("last_run")].isNull());
    QCOMPARE(json[QStringLiteral("exit_status")].toInt(), 1);

    // Every device's last run succeeded: 0, for a monitoring system.
    QVERIFY(rig.install.WriteConfig({a}));
    QCOMPARE(Status(rig, {QStringLiteral("--format=text")}).exitCode, 0);
    QCOMPARE(Status(rig, {QStringLiteral("--format"), QStringLiteral("xml")}).exitCode, 2);
}

void TestUnattendedRun::sinceRepostsARestoredTableOnce()
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

    // --since with a single terminal is refused before anything is done.
    const QString status = rig.install.DevStatus();
    run =
        rig.install.Run(since(today).mid(0, 2) +
                        QStringList{QStringLiteral("x"), QStringLiteral("x"), rig.install.Folder(),
                                    QStringLiteral("127.0.0.1"), rig.Port(1)});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.startsWith(QStringLiteral("zelvor: --since works only")), qPrintable(run.err));
    QCOMPARE(rig.install.DevStatus(), status);
    QCOMPARE(rig.db.Movements().size(), 6);
}

QTEST_GUILESS_MAIN(TestUnattendedRun)
#include "tst_unattended_run.moc"
