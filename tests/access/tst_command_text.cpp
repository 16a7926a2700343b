#include "access/CommandText.h"

#include <QProcess>
#include <QtTest>

// The command line for the scheduler: the program path as one shell word and "1".
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
}

void TestCommandText::quoting()
{
    QFETCH(QString, path);
    QFETCH(QString, command);
    QCOMPARE(AllDevicesCommand(path), command);

    // A real shell reads the command back as exactly two words: the path and "1".
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("printf '%s\\0' ") + command});
    QVERIFY(shell.waitForFinished(10000));
    QCOMPARE(shell.exitCode(), 0);
    const QList<QByteArray> words = shell.readAllStandardOutput().split('\0');
    QCOMPARE(words.size(), 3); // two words and the empty rest after the last terminator
    QCOMPARE(QString::fromUtf8(words[0]), path);
    QCOMPARE(words[1], QByteArray("1"));
}

void TestCommandText::emptyPathGivesNoCommand()
{
    QCOMPARE(AllDevicesCommand(QString()), QString());
    QCOMPARE(ShellQuoted(QString()), QStringLiteral("''"));
}

QTEST_GUILESS_MAIN(TestCommandText)
#include "tst_command_text.moc"
