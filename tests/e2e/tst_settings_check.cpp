#include "Rig.h"
#include "SilentSocketServer.h"
#include "TempDir.h"
#include "store/OdbcDriver.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using testsupport::TestDatabase;

namespace {

const QStringList kSteps{QStringLiteral("ODBC driver \"SQL Server\""),
                         QStringLiteral("database login"),
                         QStringLiteral("device row"),
                         QStringLiteral("movement table"),
                         QStringLiteral("terminal answers"),
                         QStringLiteral("link key"),
                         QStringLiteral("terminal clock"),
                         QStringLiteral("punch log"),
                         QStringLiteral("export file")};

// The report lines of one device, in order.
QStringList DeviceLines(const QString& out, const QString& name)
{
    QStringList lines;
    for (const QString& line : out.split(QLatin1Char('\n')))
        if (line.startsWith(name + QStringLiteral(": ")))
            lines.append(line);
    return lines;
}

} // namespace

// zelvor-settings check, installed beside config.ini, against simulated
// terminals and the test database: a device that passes with the punch counts
// of a run and is left as it was, and each fault it names, within its time-outs.
class TestSettingsCheck : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void aPassingDeviceIsCountedAndLeftAsItWas();
    void eachFaultIsNamed_data();
    void eachFaultIsNamed();
    void wrongUsage_data();
    void wrongUsage();
    void aDriftedClockIsReportedAndSet();
    void theCheckAndTheRunAgree_data();
    void theCheckAndTheRunAgree();

private:
    ProgramInstall::Result Check(const QStringList& args) const;
    void VerifyNothingChanged();

    std::unique_ptr<Rig> rig_;
};

void TestSettingsCheck::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestSettingsCheck::init()
{
    rig_ = std::make_unique<Rig>();
    QVERIFY(rig_->install.Ready());
    QVERIFY(QFile::copy(QStringLiteral(ZELVOR_SETTINGS_PATH),
                        rig_->install.Folder() + QStringLiteral("/zelvor-settings")));
    QVERIFY2(rig_->db.Reset(), qPrintable(rig_->db.LastError()));
}

ProgramInstall::Result TestSettingsCheck::Check(const QStringList& args) const
{
    return rig_->install.RunProgram(rig_->install.Folder() + QStringLiteral("/zelvor-settings"),
                                    QStringList{QStringLiteral("check")} + args);
}

// No progress code, no posting, no export file.
void TestSettingsCheck::VerifyNothingChanged()
{
    QCOMPARE(rig_->install.DevStatus(), QString());
    QVERIFY(rig_->db.Movements().isEmpty());
    QVERIFY(!QDir(rig_->install.Folder() + QStringLiteral("/export")).exists());
    QVERIFY(!QDir(rig_->install.Folder() + QStringLiteral("/log")).exists());
}

void TestSettingsCheck::aPassingDeviceIsCountedAndLeftAsItWas()
{
    Rig& rig = *rig_;
    // Five punches of today, and three outside the run's range: the last day
    // of the month before and a year ago.
    const QDate firstOfMonth = QDate::currentDate().addDays(1 - QDate::currentDate().day());
    QList<LogPunch> punches = Rig::TodayPunches(QStringLiteral("A"), 5);
    punches.append({QStringLiteral("B1"), QDateTime(firstOfMonth.addDays(-1), QTime(23, 59, 59))});
    punches.append({QStringLiteral("B2"), QDateTime(firstOfMonth.addDays(-1), QTime(8, 0))});
    punches.append({QStringLiteral("B3"), QDateTime(firstOfMonth.addYears(-1), QTime(8, 0))});
    const CConnServer a = rig.AddDevice(1, QStringLiteral("Gate A"), punches,
                                        {QStringLiteral("--key"), QStringLiteral("4711")});
    const CConnServer b = rig.AddUnreachableDevice(2, QStringLiteral("Gate B"));
    QVERIFY2(!a.Name.isEmpty() && !b.Name.isEmpty(), qPrintable(rig.Error()));
    QVERIFY2(rig.db.UpdateDevice(Rig::Guid(1), QStringLiteral("IPKey"), 4711),
             qPrintable(rig.db.LastError()));
    QVERIFY(rig.install.WriteConfig({a, b}));

    ProgramInstall::Result run = Check({QStringLiteral("Gate A")});
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.out + run.err));
    QVERIFY2(run.elapsedMs < 15000, qPrintable(QString::number(run.elapsedMs)));
    const QStringList lines = DeviceLines(run.out, QStringLiteral("Gate A"));
    QCOMPARE(lines.size(), kSteps.size() + 1);
    for (int i = 0; i < kSteps.size(); ++i)
        QVERIFY2(lines[i].startsWith(QStringLiteral("Gate A: %1: ok").arg(kSteps[i])),
                 qPrintable(lines[i]));
    QVERIFY2(lines[3].contains(QStringLiteral(": ok, 0 rows; the index ")) &&
                 lines[3].contains(QStringLiteral(" serves the duplicate check")),
             qPrintable(lines[3]));
    QVERIFY2(lines[6].contains(QStringLiteral("in step with this host's clock")),
             qPrintable(lines[6]));
    QVERIFY2(lines[7].contains(QStringLiteral(": ok, 8 punches, 5 from %1 00:00 to now")
                                   .arg(firstOfMonth.toString(Qt::ISODate))),
             qPrintable(lines[7]));
    QCOMPARE(lines[9], QStringLiteral("Gate A: passed"));
    QVERIFY(!run.out.contains(QStringLiteral("Gate B")));
    QVERIFY(run.out.endsWith(QStringLiteral("checked 1 device(s), 0 failed\n")));

    // Every device, in the order of config.ini: one failing makes the status 1.
    run = Check({});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.indexOf(QStringLiteral("Gate A: passed")) <
                 run.out.indexOf(QStringLiteral("Gate B: ODBC")),
             qPrintable(run.out));
    QVERIFY2(run.out.contains(QStringLiteral("Gate B: FAILED at terminal answers\nchecked 2 "
                                             "device(s), 1 failed\n")),
             qPrintable(run.out));
    VerifyNothingChanged();

    // The terminal still serves a run afterwards, with the counts the check gave.
    QVERIFY(rig.install.WriteConfig({a}));
    const ProgramInstall::Result download = rig.install.Run({QStringLiteral("1")});
    QCOMPARE(download.exitCode, 0);
    QVERIFY2(download.err.contains(QStringLiteral("Gate A: 5 punches in range, 5 posted")),
             qPrintable(download.err));
}

void TestSettingsCheck::eachFaultIsNamed_data()
{
    QTest::addColumn<QString>("step");  // the step that fails
    QTest::addColumn<QString>("words"); // in its line
    QTest::addColumn<int>("seconds");   // the check ends within

    QTest::newRow("driver not mapped") << kSteps[0] << QStringLiteral("driver not mapped") << 15;
    QTest::newRow("wrong password") << kSteps[1] << QStringLiteral("login refused") << 15;
    QTest::newRow("database down") << kSteps[1] << QStringLiteral("server unreachable") << 15;
    // The login time-out (5 s) ends it.
    QTest::newRow("database silent") << kSteps[1] << QStringLiteral("server unreachable") << 20;
    QTest::newRow("device row missing") << kSteps[2] << QStringLiteral("no row with ID") << 15;
    QTest::newRow("port closed") << kSteps[4] << QStringLiteral("connection refused") << 15;
    // Three attempts of the link and the probe, each ended by the read time-out (5 s).
    QTest::newRow("terminal silent") << kSteps[4] << QStringLiteral("does not answer") << 45;
    QTest::newRow("wrong key") << kSteps[5] << QStringLiteral("did not accept the link") << 15;
    QTest::newRow("clock reading forged")
        << kSteps[6] << QStringLiteral("did not authenticate") << 15;
    QTest::newRow("log breaks off")
        << kSteps[7] << QStringLiteral("broke off after 2 punches") << 15;
}

void TestSettingsCheck::eachFaultIsNamed()
{
    QFETCH(QString, step);
    QFETCH(QString, words);
    QFETCH(int, seconds);
    const QString fault = QString::fromLatin1(QTest::currentDataTag());
    Rig& rig = *rig_;
    const QString name = QStringLiteral("Gate");
    const QList<LogPunch> punches = Rig::TodayPunches(QStringLiteral("F"), 4);
    QStringList simOptions;
    if (fault == QLatin1String("terminal silent"))
        simOptions = {QStringLiteral("--stall-greeting")};
    else if (fault == QLatin1String("wrong key"))
        simOptions = {QStringLiteral("--key"), QStringLiteral("99")}; // the table says 0
    else if (fault == QLatin1String("clock reading forged"))
        simOptions = {QStringLiteral("--forge-clock")};
    else if (fault == QLatin1String("log breaks off"))
        simOptions = {QStringLiteral("--close-after"), QStringLiteral("2")};

    CConnServer device;
    if (fault == QLatin1String("device row missing"))
        device = rig.UnknownDevice(1, name);
    else if (fault == QLatin1String("port closed"))
        device = rig.AddUnreachableDevice(1, name);
    else
        device = rig.AddDevice(1, name, punches, simOptions);
    QVERIFY2(!device.Name.isEmpty(), qPrintable(rig.Error()));

    QTemporaryDir odbc;
    testsupport::SilentSocketServer silent;
    if (fault == QLatin1String("driver not mapped")) {
        QVERIFY(testsupport::WriteBytes(odbc.filePath(QStringLiteral("odbcinst.ini")),
                                        "[Another Driver]\nDriver = /nowhere/libother.so\n"));
        rig.install.SetEnvironment(QStringLiteral("ODBCSYSINI"), odbc.path());
    } else if (fault == QLatin1String("wrong password")) {
        device.Pass = QStringLiteral("not the pass}word");
    } else if (fault == QLatin1String("database silent")) {
        QVERIFY(silent.IsListening());
        device.Server = silent.ServerText();
    }
    QVERIFY(rig.install.WriteConfig({device}));
    if (fault == QLatin1String("database down"))
        QVERIFY2(rig.db.StopServer(), qPrintable(rig.db.LastError()));

    const ProgramInstall::Result run = Check({name});
    if (fault == QLatin1String("database down"))
        QVERIFY2(rig.db.StartServer(), qPrintable(rig.db.LastError()));

    QVERIFY2(run.finished, qPrintable(run.out));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.elapsedMs < seconds * 1000,
             qPrintable(QStringLiteral("%1 ms").arg(run.elapsedMs)));
    const QStringList lines = DeviceLines(run.out, name);
    QCOMPARE(lines.size(), kSteps.size() + 1);
    const qsizetype failed = kSteps.indexOf(step);
    // Once logged in, the movement table is measured whatever else failed.
    const qsizetype movementTable = kSteps.indexOf(QStringLiteral("movement table"));
    for (qsizetype i = 0; i < kSteps.size(); ++i) {
        const QString verdict = i < failed || (i == movementTable && failed > 1)
                                    ? QStringLiteral("ok, ")
                                : i == failed ? QStringLiteral("FAILED, ")
                                              : QStringLiteral("skipped (%1 failed)").arg(step);
        QVERIFY2(lines[i].startsWith(QStringLiteral("Gate: %1: %2").arg(kSteps[i], verdict)),
                 qPrintable(lines[i]));
    }
    QVERIFY2(lines[failed].contains(words), qPrintable(lines[failed]));
    QVERIFY2(lines[failed].contains(QStringLiteral("; hint: ")), qPrintable(lines[failed]));
    if (fault == QLatin1String("driver not mapped"))
        QVERIFY2(lines[failed].contains(odbc.filePath(QStringLiteral("odbcinst.ini"))),
                 qPrintable(lines[failed]));
    if (step == kSteps[1])
        QVERIFY2(lines[failed].contains(QStringLiteral(" (tried host ")),
                 qPrintable(lines[failed]));
    // FreeTDS before 1.4 cannot send a '}' of a password: the hint says so.
    const OdbcDriverInfo driver = FindOdbcDriver().value_or(OdbcDriverInfo());
    if (fault == QLatin1String("wrong password") && DoublesClosingBraces(driver))
        QVERIFY2(lines[failed].contains(QStringLiteral("FreeTDS ") + driver.freeTdsVersion),
                 qPrintable(lines[failed]));
    QCOMPARE(lines.last(), QStringLiteral("Gate: FAILED at %1").arg(step));
    VerifyNothingChanged();
}

void TestSettingsCheck::wrongUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");

    QTest::newRow("unknown device")
        << QStringList{QStringLiteral("Gate Z")} << 1 << QStringLiteral("no device named Gate Z");
    QTest::newRow("negative time-out")
        << QStringList{QStringLiteral("--device-timeout"), QStringLiteral("-1")} << 2
        << QStringLiteral("--device-timeout takes");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--jobs=2")} << 2
                                    << QStringLiteral("unknown or incomplete option --jobs=2");
}

void TestSettingsCheck::wrongUsage()
{
    QVERIFY(rig_->install.WriteConfig({rig_->UnknownDevice(1, QStringLiteral("Gate A"))}));
    QFETCH(QStringList, args);
    QFETCH(QString, err);
    const ProgramInstall::Result run = Check(args);
    QTEST(run.exitCode, "exitCode");
    QVERIFY2(run.err.contains(err), qPrintable(run.err));
    QVERIFY2(run.out.isEmpty(), qPrintable(run.out));
}

void TestSettingsCheck::aDriftedClockIsReportedAndSet()
{
    Rig& rig = *rig_;
    const CConnServer gate =
        rig.AddDevice(1, QStringLiteral("Gate"), Rig::TodayPunches(QStringLiteral("C"), 3),
                      {QStringLiteral("--clock-offset"), QStringLiteral("400")});
    QVERIFY2(!gate.Name.isEmpty(), qPrintable(rig.Error()));
    QVERIFY(rig.install.WriteConfig({gate}));
    // A warning: the check passes, as a run would.
    ProgramInstall::Result run = Check({});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(QStringLiteral("Gate: terminal clock: WARNING, ")) &&
                 run.out.contains(QRegularExpression(
                     QStringLiteral("6 min (39|40|41) s ahead of this host's clock"))) &&
                 run.out.contains(QStringLiteral("zelvor-settings set-clock Gate")),
             qPrintable(run.out));

    const QString tool = rig.install.Folder() + QStringLiteral("/zelvor-settings");
    run = rig.install.RunProgram(tool, {QStringLiteral("set-clock"), QStringLiteral("Gate")});
    QVERIFY2(run.exitCode == 0 && run.out.startsWith(QStringLiteral("Gate: clock set, it reads ")),
             qPrintable(run.out + run.err));
    QVERIFY2(
        run.out.contains(QRegularExpression(QStringLiteral("\\(before: 6 min (39|40|41) s ahead"))),
        qPrintable(run.out));
    run = Check({});
    QVERIFY2(run.out.contains(QStringLiteral("Gate: terminal clock: ok, ")), qPrintable(run.out));
    // No such device; no name.
    run = rig.install.RunProgram(tool, {QStringLiteral("set-clock"), QStringLiteral("Dock")});
    QCOMPARE(run.exitCode, 1);
    run = rig.install.RunProgram(tool, {QStringLiteral("set-clock")});
    QCOMPARE(run.exitCode, 2);
    VerifyNothingChanged();
}

void TestSettingsCheck::theCheckAndTheRunAgree_data()
{
    QTest::addColumn<QString>("failingStep"); // empty: both pass
    QTest::newRow("healthy") << QString();
    QTest::newRow("export folder under a file") << QStringLiteral("export file");
    QTest::newRow("device row missing") << QStringLiteral("device row");
    QTest::newRow("wrong password") << QStringLiteral("database login");
    QTest::newRow("terminal refuses PREPARE") << QStringLiteral("punch log");
    QTest::newRow("a login that may insert but not read") << QStringLiteral("movement table");
}

void TestSettingsCheck::theCheckAndTheRunAgree()
{
    // The check passes a device exactly when the run does, and names the
    // step where the run fails.
    QFETCH(QString, failingStep);
    const QString fault = QString::fromLatin1(QTest::currentDataTag());
    Rig& rig = *rig_;
    const QString name = QStringLiteral("Gate");
    CConnServer device = fault == QLatin1String("device row missing")
                             ? rig.UnknownDevice(1, name)
                             : rig.AddDevice(1, name, Rig::TodayPunches(QStringLiteral("G"), 3),
                                             fault == QLatin1String("terminal refuses PREPARE")
                                                 ? QStringList{QStringLiteral("--prepare-refused")}
                                                 : QStringList{});
    QVERIFY2(!device.Name.isEmpty(), qPrintable(rig.Error()));
    if (fault == QLatin1String("export folder under a file")) {
        const QString file = rig.install.Folder() + QStringLiteral("/a-file");
        QVERIFY(testsupport::WriteBytes(file, "x"));
        device.FilePath = file + QStringLiteral("/export");
    } else if (fault == QLatin1String("wrong password")) {
        device.Pass = QStringLiteral("not the password");
    } else if (fault == QLatin1String("a login that may insert but not read")) {
        device.User = QStringLiteral("zelvor_writer");
        device.Pass = QStringLiteral("Writer-pw5");
        QVERIFY2(rig.db.CreateLogin(device.User, device.Pass) &&
                     rig.db.Grant(QStringLiteral("SELECT"), QStringLiteral("tsrHrDeviceShift"),
                                  device.User) &&
                     rig.db.Grant(QStringLiteral("INSERT"), QStringLiteral("tsrHrMovement"),
                                  device.User),
                 qPrintable(rig.db.LastError()));
    }
    QVERIFY(rig.install.WriteConfig({device}));

    const ProgramInstall::Result check = Check({});
    const ProgramInstall::Result run = rig.install.Run({QStringLiteral("1")});
    QVERIFY2(check.finished && run.finished, qPrintable(check.out + run.err));
    const int status = failingStep.isEmpty() ? 0 : 1;
    QVERIFY2(check.exitCode == status, qPrintable(check.out));
    QVERIFY2(run.exitCode == status, qPrintable(run.err));
    const QString verdict = failingStep.isEmpty()
                                ? QStringLiteral("Gate: passed")
                                : QStringLiteral("Gate: FAILED at %1").arg(failingStep);
    QVERIFY2(check.out.contains(verdict + u'\n'), qPrintable(check.out));
}

QTEST_GUILESS_MAIN(TestSettingsCheck)
#include "tst_settings_check.moc"
