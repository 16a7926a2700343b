#include "access/CommandText.h"
#include "platform/CommandWord.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

// The words the system's command line reader makes of command.
QStringList WordsOf(const QString& command)
{
    QStringList words;
#ifdef Q_OS_WIN
    int count = 0;
    wchar_t** read = CommandLineToArgvW(reinterpret_cast<const wchar_t*>(command.utf16()), &count);
    for (int i = 0; read && i < count; ++i)
        words.append(QString::fromWCharArray(read[i]));
    LocalFree(read);
#else
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("printf '%s\\0' ") + command});
    if (!shell.waitForFinished(10000) || shell.exitCode() != 0)
        return {};
    for (const QByteArray& word : shell.readAllStandardOutput().split('\0'))
        words.append(QString::fromUtf8(word));
    words.removeLast(); // the empty rest after the last terminator
#endif
    return words;
}

} // namespace

// The command line for the scheduler: the program path as one word and "1".
class TestCommandText : public QObject {
    Q_OBJECT

private slots:
    void quoting_data();
    void quoting();
    void emptyPathGivesNoCommand();
};

void TestCommandText::quoting_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("command");

#ifdef Q_OS_WIN
    QTest::newRow("plain") << QStringLiteral("C:/Zelvor/zelvor.exe")
                           << QStringLiteral("C:\\Zelvor\\zelvor.exe 1");
    QTest::newRow("program files") << QStringLiteral("C:/Program Files/Zelvor/zelvor.exe")
                                   << QStringLiteral("\"C:\\Program Files\\Zelvor\\zelvor.exe\" 1");
    QTest::newRow("ampersand and percent") << QStringLiteral("D:/R&D/100%/zelvor.exe")
                                           << QStringLiteral("\"D:\\R&D\\100%\\zelvor.exe\" 1");
    QTest::newRow("arabic folder")
        << QStringLiteral("C:/الحضور/zelvor.exe") << QStringLiteral("C:\\الحضور\\zelvor.exe 1");
#else
    QTest::newRow("plain") << QStringLiteral("/opt/zelvor/bin/zelvor")
                           << QStringLiteral("/opt/zelvor/bin/zelvor 1");
    QTest::newRow("version-like") << QStringLiteral("/opt/zelvor-2.1_b/zelvor+x")
                                  << QStringLiteral("/opt/zelvor-2.1_b/zelvor+x 1");
    QTest::newRow("blank") << QStringLiteral("/opt/Attendance Tools/zelvor")
                           << QStringLiteral("'/opt/Attendance Tools/zelvor' 1");
    QTest::newRow("single quote") << QStringLiteral("/home/o'neil/zelvor")
                                  << QStringLiteral("'/home/o'\\''neil/zelvor' 1");
    QTest::newRow("dollar and backtick")
        << QStringLiteral("/srv/$HOME/`id`/zelvor") << QStringLiteral("'/srv/$HOME/`id`/zelvor' 1");
    QTest::newRow("glob and separators")
        << QStringLiteral("/srv/a*b;c&d|e/zelvor") << QStringLiteral("'/srv/a*b;c&d|e/zelvor' 1");
    QTest::newRow("tab and newline")
        << QStringLiteral("/srv/a\tb\nc/zelvor") << QStringLiteral("'/srv/a\tb\nc/zelvor' 1");
    QTest::newRow("arabic folder")
        << QStringLiteral("/opt/الحضور/zelvor") << QStringLiteral("'/opt/الحضور/zelvor' 1");
    QTest::newRow("tilde and hash")
        << QStringLiteral("~/#zelvor") << QStringLiteral("'~/#zelvor' 1");
    QTest::newRow("assignment-like") << QStringLiteral("A=b") << QStringLiteral("'A=b' 1");
    QTest::newRow("backslash") << QStringLiteral("/srv/a\\b/zelvor")
                               << QStringLiteral("'/srv/a\\b/zelvor' 1");
#endif
}

void TestCommandText::quoting()
{
    QFETCH(QString, path);
    QFETCH(QString, command);
    QCOMPARE(AllDevicesCommand(path), command);

    // The system reads the command back as exactly two words: the path (with
    // its own separators) and "1".
    QCOMPARE(WordsOf(command), (QStringList{QDir::toNativeSeparators(path), QStringLiteral("1")}));
}

void TestCommandText::emptyPathGivesNoCommand()
{
    QCOMPARE(AllDevicesCommand(QString()), QString());
    // An empty word stays a word of its own.
    QCOMPARE(WordsOf(CommandWord(QString()) + QStringLiteral(" 1")),
             (QStringList{QString(), QStringLiteral("1")}));
}

QTEST_GUILESS_MAIN(TestCommandText)
#include "tst_command_text.moc"
