// The Windows programs' lines and exit status: typed in a console through the
// console companion, and started without any console (as the scheduled task
// starts them), under Wine.
#include "TempDir.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <windows.h>

class TestWindowsConsole : public QObject {
    Q_OBJECT

private slots:
    void init();
    void theCompanionReturnsTheProgramsStatusAndLines();
    void aRunWithoutAConsoleKeepsItsLinesInTheRotatedRunLog();

private:
    QString Path(const char* name) const { return dir_->filePath(QLatin1String(name)); }

    std::unique_ptr<QTemporaryDir> dir_;
};

void TestWindowsConsole::init()
{
    // The programs in a folder that runs as it is, with an empty device list.
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(QFile::copy(QStringLiteral(ZELVOR_PROGRAM_PATH), Path("zelvor.exe")));
    QVERIFY(QFile::copy(QStringLiteral(ZELVOR_COMPANION_PATH), Path("zelvor.com")));
    QVERIFY(testsupport::WriteBytes(Path("config.ini"), QByteArray("\xFF\xFE", 2)));
}

void TestWindowsConsole::theCompanionReturnsTheProgramsStatusAndLines()
{
    struct Case {
        QStringList arguments;
        int status;
        QByteArray out;
        QByteArray err;
    };
    const QList<Case> cases{
        {{QStringLiteral("--version")}, 0, "zelvor ", ""},
        {{QStringLiteral("1")}, 1, "", "zelvor: no devices to run"},
        {{QStringLiteral("--no-such-option")}, 2, "", "unknown option --no-such-option"},
    };
    for (const Case& c : cases) {
        QProcess companion;
        companion.start(Path("zelvor.com"), c.arguments);
        QVERIFY2(companion.waitForFinished(120000), qPrintable(c.arguments.join(QLatin1Char(' '))));
        const QByteArray out = companion.readAllStandardOutput();
        const QByteArray err = companion.readAllStandardError();
        QVERIFY2(companion.exitCode() == c.status, out + err);
        QVERIFY2(out.contains(c.out) && err.contains(c.err), out + err);
    }
    QVERIFY(!QFile::exists(Path("zelvor-run.log")));
}

void TestWindowsConsole::aRunWithoutAConsoleKeepsItsLinesInTheRotatedRunLog()
{
    const auto runWithoutConsole = [this] {
        QProcess program;
        // No standard handles and no console to join, as a scheduled task starts it.
        program.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* args) {
            args->flags |= DETACHED_PROCESS;
            args->startupInfo->dwFlags &= ~STARTF_USESTDHANDLES;
            args->startupInfo->hStdInput = nullptr;
            args->startupInfo->hStdOutput = nullptr;
            args->startupInfo->hStdError = nullptr;
            args->inheritHandles = false;
        });
        program.start(Path("zelvor.exe"), {QStringLiteral("1")});
        return program.waitForFinished(120000) ? program.exitCode() : -1;
    };
    QCOMPARE(runWithoutConsole(), 1);
    const QByteArray first = testsupport::ReadBytes(Path("zelvor-run.log"));
    QVERIFY2(first.contains(" started (process ") && first.contains("zelvor: no devices to run") &&
                 first.contains("exit status 1"),
             first.constData());

    // Grown past its limit, the log becomes the previous one at the next start.
    const QByteArray filler(1024 * 1024, 'x');
    QVERIFY(testsupport::WriteBytes(Path("zelvor-run.log"), filler));
    QCOMPARE(runWithoutConsole(), 1);
    QCOMPARE(testsupport::ReadBytes(Path("zelvor-run.log.1")), filler);
    const QByteArray second = testsupport::ReadBytes(Path("zelvor-run.log"));
    QVERIFY2(second.startsWith("== ") && second.contains("zelvor: no devices to run"),
             second.constData());
}

QTEST_GUILESS_MAIN(TestWindowsConsole)
#include "tst_windows_console.moc"
