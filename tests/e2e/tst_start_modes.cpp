#include "Rig.h"

#include "TempDir.h"

#include <QDir>
#include <QTest>

using testsupport::TestDatabase;

namespace {

// Positions 1..n of a single-terminal command line; the caller fills some.
QStringList Positions(int n)
{
    return QStringList(n, QStringLiteral("x"));
}

QString ExportIn(const QString& folder, const QString& name = {})
{
    return folder + QStringLiteral("/%1_%2.txt")
                        .arg(name, QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
}

} // namespace

// The other ways the program starts: one terminal from the command line, a
// broken or empty settings file, and the password gate without a display.
class TestStartModes : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void singleTerminalRunWritesTheExportFile();
    void singleTerminalRunThatFailsExits_data();
    void singleTerminalRunThatFailsExits();
    void commandLineDatesChooseTheDays_data();
    void commandLineDatesChooseTheDays();
    void settingsWithoutDevices_data();
    void settingsWithoutDevices();
    void passwordGateWithoutDisplay();

private:
    std::unique_ptr<Rig> rig_;
};

void TestStartModes::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestStartModes::init()
{
    rig_ = std::make_unique<Rig>();
    QVERIFY(rig_->install.Ready());
    QVERIFY2(rig_->db.Reset(), qPrintable(rig_->db.LastError()));
}

void TestStartModes::singleTerminalRunWritesTheExportFile()
{
    Rig& rig = *rig_;
    const QList<LogPunch> punches = Rig::TodayPunches(QStringLiteral("S"), 12);
    const CConnServer device = rig.AddDevice(1, QStringLiteral("Solo"), punches);
    QVERIFY2(!device.Name.isEmpty(), qPrintable(rig.Error()));
    const QString folder = rig.install.Folder() + QStringLiteral("/single");
    QStringList args = Positions(5);
    args[2] = folder;
    args[3] = QStringLiteral("127.0.0.1");
    args[4] = rig.Port(1);

    const ProgramInstall::Result run = rig.install.Run(args);
    QVERIFY2(run.finished, qPrintable(run.err));
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(rig.install.DevStatus(), QStringLiteral("7"));
    // The record has no name, so the file name starts with "_".
    const QByteArray exported = testsupport::ReadBytes(ExportIn(folder));
    QCOMPARE(exported.count("\r\n"), 12);
    // The single-terminal run does not post to the database.
    QVERIFY(rig.db.Movements().isEmpty());
    // No password was asked.
    QVERIFY(!run.err.contains(QStringLiteral("Password")));
}

void TestStartModes::singleTerminalRunThatFailsExits_data()
{
    QTest::addColumn<QString>("closeFlag");
    QTest::newRow("close flag 0") << "0";
    QTest::newRow("no close flag") << "";
}

void TestStartModes::singleTerminalRunThatFailsExits()
{
    QFETCH(QString, closeFlag);
    Rig& rig = *rig_;
    rig.AddUnreachableDevice(1, QStringLiteral("Down"));
    QStringList args = Positions(16);
    args[2] = rig.install.Folder();
    args[3] = QStringLiteral("127.0.0.1");
    args[4] = rig.Port(1);
    args[13] = QString();
    args[15] = closeFlag;
    // Without a display the window that a failed run leaves open cannot be
    // shown: the program ends either way instead of waiting.
    const ProgramInstall::Result run = rig.install.Run(args, {}, 30000);
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(rig.install.DevStatus(), QStringLiteral("4"));
    QVERIFY2(run.err.contains(QStringLiteral("FAILED, could not connect")), qPrintable(run.err));
}

void TestStartModes::commandLineDatesChooseTheDays_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // on standard error
    QTest::newRow("one day") << "2024-03-05"
                             << "2024-03-05" << 0 << QString();
    // A range that keeps nothing is refused before anything is touched: the
    // day's export file keeps its lines.
    QTest::newRow("first day after the last")
        << "2024-03-06"
        << "2024-03-04" << 2
        << "the first day (position 14, 2024-03-06) lies after the last day (position 15, "
           "2024-03-04)";
    QTest::newRow("not a date") << "2024-03-05"
                                << "5th of March" << 2 << "'5th of March'";
    QTest::newRow("last day missing") << "2024-03-05"
                                      << "" << 2 << "position 15";
}

void TestStartModes::commandLineDatesChooseTheDays()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    Rig& rig = *rig_;
    QList<LogPunch> punches;
    for (int day = 4; day <= 6; ++day)
        for (int i = 0; i < 3; ++i)
            punches.append({QStringLiteral("D%1").arg(day),
                            QDateTime(QDate(2024, 3, day), QTime(8 + i, 0)), 1, 0, 0});
    const CConnServer device = rig.AddDevice(1, QStringLiteral("Dated"), punches);
    QVERIFY2(!device.Name.isEmpty(), qPrintable(rig.Error()));
    const QString exportPath = ExportIn(rig.install.Folder());
    const QByteArray earlier("earlier\r\nexport\r\n");
    QVERIFY(testsupport::WriteBytes(exportPath, earlier));
    QStringList args = Positions(15);
    args[2] = rig.install.Folder();
    args[3] = QStringLiteral("127.0.0.1");
    args[4] = rig.Port(1);
    args[13] = from;
    args[14] = to;

    const ProgramInstall::Result run = rig.install.Run(args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(said), qPrintable(run.err));
    const QByteArray exported = testsupport::ReadBytes(exportPath);
    if (exitCode != 0) {
        QCOMPARE(exported, earlier);
        QVERIFY(rig.install.DevStatus().isEmpty()); // no connection was tried
        return;
    }
    QCOMPARE(exported.count("\r\n"), 3);
    QCOMPARE(exported.count("05-03-2024"), 3);
}

void TestStartModes::settingsWithoutDevices_data()
{
    QTest::addColumn<QByteArray>("config"); // "none": no file at all
    QTest::addColumn<QString>("message");
    QTest::newRow("no config.ini") << QByteArray("none") << "Failed to open the file.";
    QTest::newRow("not UTF-16") << QByteArray("[A]\nDeviceId=1\n")
                                << "The file is not UTF-16 encoded.";
    QTest::newRow("empty device list") << QByteArray("\xFF\xFE", 2) << "no devices to run";
}

void TestStartModes::settingsWithoutDevices()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, message);
    if (config != "none")
        QVERIFY(testsupport::WriteBytes(rig_->install.ConfigPath(), config));
    const ProgramInstall::Result run = rig_->install.Run({QStringLiteral("1")}, {}, 30000);
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(rig_->install.DevStatus().isEmpty());
}

void TestStartModes::passwordGateWithoutDisplay()
{
    ProgramInstall& install = rig_->install;
    // First use with nothing typed: "enter the password", nothing stored.
    ProgramInstall::Result run = install.Run({}, "\n");
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("ادخل كلمة السر")), qPrintable(run.err));
    QVERIFY(install.StoredPassword().isEmpty());

    // First use with a text: stored and accepted; without a display the
    // program then ends.
    run = install.Run({}, "Kalima 7\n");
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(install.StoredPassword(), QStringLiteral("Kalima 7"));
    QVERIFY2(run.err.contains(QStringLiteral("needs a display")), qPrintable(run.err));

    // The right password again; then a wrong one; then none at all.
    QCOMPARE(install.Run({}, "Kalima 7\n").exitCode, 0);
    run = install.Run({}, "kalima 7\n");
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("يرجى ادخال كلمة السر الصحيحة")), qPrintable(run.err));
    QCOMPARE(install.Run({}, QByteArray()).exitCode, 1);

    // Two positions with position 4 empty: the gate is asked, nothing transferred.
    run = install.Run({QStringLiteral("a"), QStringLiteral("b")}, "Kalima 7\n");
    QCOMPARE(run.exitCode, 0);
    QVERIFY(install.DevStatus().isEmpty());
}

QTEST_GUILESS_MAIN(TestStartModes)
#include "tst_start_modes.moc"
