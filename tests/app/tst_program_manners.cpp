#include "TempDir.h"

#include "app/ExitGuard.h"
#include "app/Version.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

// The two programs as processes: --help, --version and wrong usage answer at
// once, without a window and without config.ini or the registry; the settings
// tool's list on a fresh installation; both find config.ini beside the real
// program when started through a symbolic link (a build without the system
// layout).
class TestProgramManners : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void answers_data();
    void answers();
    void leftUntouched();
    void endsWhenTheCleanUpHangs();

private:
    QTemporaryDir dir_;
    QString Path(const QString& name) const { return dir_.filePath(name); }
};

namespace {

const QByteArray kBrokenConfig = "not a settings file";

} // namespace

void TestProgramManners::initTestCase()
{
    QVERIFY(dir_.isValid());
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("opt")));
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("bin")));
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("xdg")));
    QVERIFY(QFile::copy(QStringLiteral(ZELVOR_PROGRAM_PATH), Path(QStringLiteral("opt/zelvor"))));
    QVERIFY(QFile::copy(QStringLiteral(ZELVOR_SETTINGS_PATH),
                        Path(QStringLiteral("opt/zelvor-settings"))));
    for (const QString& name : {QStringLiteral("zelvor"), QStringLiteral("zelvor-settings")})
        QVERIFY(
            QFile::link(Path(QStringLiteral("opt/")) + name, Path(QStringLiteral("bin/")) + name));
    // Anything that read this file would complain about it.
    QVERIFY(testsupport::WriteBytes(Path(QStringLiteral("opt/config.ini")), kBrokenConfig));
}

void TestProgramManners::answers_data()
{
    QTest::addColumn<QString>("program"); // relative to the test folder
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // expected start of standard output; "*text": contains
    QTest::addColumn<QString>("err"); // expected standard error; "*text" for: contains text

    const QString version = QString::fromLatin1(kZelvorVersion);
    const QString zelvor = QStringLiteral("opt/zelvor");
    const QString settings = QStringLiteral("opt/zelvor-settings");
    const QString missing = Path(QStringLiteral("nowhere/config.ini"));
    QTest::newRow("help") << zelvor << QStringList{QStringLiteral("--help")} << 0
                          << QStringLiteral("usage: zelvor ") << QString();
    QTest::newRow("version beside positions and Qt flags")
        << zelvor
        << QStringList{QStringLiteral("-style"), QStringLiteral("X"), QStringLiteral("1"),
                       QStringLiteral("--version")}
        << 0 << QStringLiteral("zelvor %1\n").arg(version) << QString();
    QTest::newRow("unknown option")
        << zelvor << QStringList{QStringLiteral("1"), QStringLiteral("--bogus")} << 2 << QString()
        << QStringLiteral("zelvor: unknown option --bogus "
                          "(see zelvor --help)\n");
    QTest::newRow("settings help") << settings << QStringList{QStringLiteral("--help")} << 0
                                   << QStringLiteral("usage: zelvor-settings ") << QString();
    QTest::newRow("settings version")
        << settings << QStringList{QStringLiteral("--version")} << 0
        << QStringLiteral("zelvor-settings %1\nCopyright (C) ").arg(version) << QString();
    QTest::newRow("help names the manual pages")
        << zelvor << QStringList{QStringLiteral("--help")} << 0
        << QStringLiteral("*Manual pages: zelvor(1), zelvor-settings(1)") << QString();
    QTest::newRow("settings help names the manual pages")
        << settings << QStringList{QStringLiteral("--help")} << 0
        << QStringLiteral("*Manual pages: zelvor-settings(1), zelvor(1)") << QString();
    QTest::newRow("list without config.ini")
        << settings << QStringList{QStringLiteral("--file"), missing, QStringLiteral("list")} << 0
        << QString() << QStringLiteral("*") + missing;
    QTest::newRow("list of a broken config.ini, through a link")
        << QStringLiteral("bin/zelvor-settings") << QStringList{QStringLiteral("list")} << 1
        << QString() << QStringLiteral("*") + Path(QStringLiteral("opt/config.ini"));
}

void TestProgramManners::answers()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(QString, out);
    QFETCH(QString, err);

    // A display that does not exist: opening a window would fail the run.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), Path(QStringLiteral("xdg")));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QDir::tempPath());
    process.start(Path(program), args);
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(30000));
    const QString gotOut = QString::fromUtf8(process.readAllStandardOutput());
    const QString gotErr = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QTEST(process.exitCode(), "exitCode");
    if (out.startsWith(QLatin1Char('*')))
        QVERIFY2(gotOut.contains(out.mid(1)), qPrintable(gotOut));
    else
        QVERIFY2(out.isEmpty() ? gotOut.isEmpty() : gotOut.startsWith(out), qPrintable(gotOut));
    // Whole lines only, as a journal shows them.
    QVERIFY(gotOut.isEmpty() || gotOut.endsWith(QLatin1Char('\n')));
    QVERIFY(gotErr.isEmpty() || gotErr.endsWith(QLatin1Char('\n')));
    if (err.startsWith(QLatin1Char('*')))
        QVERIFY2(gotErr.contains(err.mid(1)), qPrintable(gotErr));
    else
        QCOMPARE(gotErr, err);
}

void TestProgramManners::leftUntouched()
{
    QCOMPARE(testsupport::ReadBytes(Path(QStringLiteral("opt/config.ini"))), kBrokenConfig);
    QVERIFY(QDir(Path(QStringLiteral("xdg"))).isEmpty());
    QVERIFY(!QFile::exists(Path(QStringLiteral("opt/log"))));
}

void TestProgramManners::endsWhenTheCleanUpHangs()
{
    // A process whose clean-up after the run never returns still ends, with
    // the run's status, and says which step it was waiting for.
    int said[2];
    QCOMPARE(pipe(said), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(said[1], STDERR_FILENO);
        NoteExitStep("a step that never returns");
        EndProcessWithin(1, 7);
        for (;;)
            pause();
    }
    close(said[1]);
    QVERIFY(child > 0);
    int status = 0;
    QElapsedTimer waited;
    waited.start();
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (waited.elapsed() > 10000) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            QFAIL("the process did not end");
        }
        QTest::qWait(20);
    }
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 7);
    char line[512] = {};
    const ssize_t length = read(said[0], line, sizeof line - 1);
    close(said[0]);
    QVERIFY(length > 0);
    QVERIFY2(QByteArray(line).contains("(waiting for a step that never returns)"), line);
}

QTEST_GUILESS_MAIN(TestProgramManners)
#include "tst_program_manners.moc"
