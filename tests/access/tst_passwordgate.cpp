#include "TempDir.h"

#include "access/ConsolePasswordPrompt.h"
#include "access/PasswordGate.h"
#include "platform/FileRegistryStore.h"
#include "platform/MessageSink.h"
#include "resources/OperatorTexts.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

// Answers the prompt with a prepared text and counts how often it was asked.
class ScriptedPrompt : public PasswordPrompt {
public:
    explicit ScriptedPrompt(QString answer) : answer_(std::move(answer)) {}
    QString PromptPassword() override
    {
        ++asked;
        return answer_;
    }
    int asked = 0;

private:
    QString answer_;
};

} // namespace

class TestPasswordGate : public QObject {
    Q_OBJECT
private slots:
    void gate_data();
    void gate();
    void overlongStoredValueCountsAsNone();
    void unwritableRegistryStillAccepts();
    void consolePromptReadsOneLine_data();
    void consolePromptReadsOneLine();
};

void TestPasswordGate::gate_data()
{
    QTest::addColumn<QString>("stored"); // empty: nothing stored
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("storedAfter");

    QTest::newRow("first use, nothing typed") << ""
                                              << "" << 0 << optext::kEnterPassword << "";
    QTest::newRow("first use stores the text") << ""
                                               << "Kalima 1" << 2 << ""
                                               << "Kalima 1";
    QTest::newRow("right password") << "Kalima"
                                    << "Kalima" << 2 << ""
                                    << "Kalima";
    QTest::newRow("letter case differs") << "Kalima"
                                         << "kalima" << 1 << optext::kWrongPassword << "Kalima";
    QTest::newRow("trailing blank") << "Kalima"
                                    << "Kalima " << 1 << optext::kWrongPassword << "Kalima";
    QTest::newRow("prompt closed") << "Kalima"
                                   << "" << 1 << optext::kWrongPassword << "Kalima";
    QTest::newRow("arabic password") << "كلمة"
                                     << "كلمة" << 2 << ""
                                     << "كلمة";
}

void TestPasswordGate::gate()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(int, result);
    QFETCH(QString, message);
    QFETCH(QString, storedAfter);

    QTemporaryDir dir;
    FileRegistryStore registry(dir.path());
    if (!stored.isEmpty())
        StorePassword(registry, stored);
    ScriptedPrompt prompt(typed);
    RecordingMessageSink messages;
    QCOMPARE(CheckPassword(prompt, registry, messages), result);
    QCOMPARE(prompt.asked, 1);
    QCOMPARE(messages.messages, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(ReadStoredPassword(registry), storedAfter);
    if (!storedAfter.isEmpty())
        QCOMPARE(
            registry.QueryValue(QStringLiteral("Software\\Zelvor"), QStringLiteral("ZelvorPass")),
            storedAfter);
}

void TestPasswordGate::overlongStoredValueCountsAsNone()
{
    QTemporaryDir dir;
    FileRegistryStore registry(dir.path());
    StorePassword(registry, QString(256, QLatin1Char('a')));
    QCOMPARE(ReadStoredPassword(registry), QString());
    StorePassword(registry, QString(255, QLatin1Char('a')));
    QCOMPARE(ReadStoredPassword(registry).size(), 255);

    // Unreadable counts as first use: the typed text becomes the password.
    StorePassword(registry, QString(300, QLatin1Char('b')));
    ScriptedPrompt prompt(QStringLiteral("new"));
    RecordingMessageSink messages;
    QCOMPARE(CheckPassword(prompt, registry, messages), 2);
    QCOMPARE(ReadStoredPassword(registry), QStringLiteral("new"));
}

void TestPasswordGate::unwritableRegistryStillAccepts()
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("root")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    FileRegistryStore registry(blocker.fileName()); // a file: no key can be made under it
    ScriptedPrompt prompt(QStringLiteral("x"));
    RecordingMessageSink messages;
    QCOMPARE(CheckPassword(prompt, registry, messages), 2);
    QCOMPARE(ReadStoredPassword(registry), QString());
}

void TestPasswordGate::consolePromptReadsOneLine_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("typed");
    QTest::newRow("line") << QByteArray("secret\nnext\n") << "secret";
    QTest::newRow("crlf") << QByteArray("secret\r\n") << "secret";
    QTest::newRow("no line end") << QByteArray("abc") << "abc";
    QTest::newRow("end of input") << QByteArray() << "";
    QTest::newRow("utf-8") << QByteArray("كلمة\n") << "كلمة";
}

void TestPasswordGate::consolePromptReadsOneLine()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, typed);
    FILE* in = testsupport::StreamWith(input);
    FILE* out = testsupport::StreamWith();
    QVERIFY(in && out);
    ConsolePasswordPrompt prompt(in, out);
    QCOMPARE(prompt.PromptPassword(), typed);
    const QByteArray shown = testsupport::WrittenTo(out);
    std::fclose(in);
    std::fclose(out);
    QVERIFY(shown.startsWith("Password"));
    QVERIFY(shown.endsWith('\n')); // input from no terminal: the prompt is a whole line
}

QTEST_GUILESS_MAIN(TestPasswordGate)
#include "tst_passwordgate.moc"
