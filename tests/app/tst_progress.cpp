#include "TempDir.h"

#include "platform/FileRegistryStore.h"
#include "platform/Progress.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

// Captures what the reporter writes on its console stream.
struct Console {
    FILE* stream = testsupport::StreamWith();
    ~Console() { std::fclose(stream); }
    QByteArray text() { return testsupport::WrittenTo(stream); }
};

} // namespace

class TestProgress : public QObject {
    Q_OBJECT
private slots:
    void statusGoesToTheExistingKey();
    void missingKeyIsNeverCreated();
    void unwritableRootStaysSilent();
    void firstNotificationAddsLaterOnesModify();
    void notificationTextsAreCut();
};

void TestProgress::statusGoesToTheExistingKey()
{
    QTemporaryDir dir;
    FileRegistryStore registry(dir.path());
    QVERIFY(registry.CreateKey(progress::kStatusKey));
    RecordingNotificationSink notes;
    Console console;
    ProgressReporter reporter(registry, notes, console.stream);
    for (const QString& code : {progress::kTrying, progress::kConnected, progress::kDownloaded})
        reporter.ReportStatus(code);
    QCOMPARE(registry.QueryValue(progress::kStatusKey, progress::kStatusValue),
             progress::kDownloaded);
    QCOMPARE(console.text(),
             QByteArray("Success closing key.\nSuccess closing key.\nSuccess closing key.\n"));
}

void TestProgress::missingKeyIsNeverCreated()
{
    QTemporaryDir dir;
    FileRegistryStore registry(dir.filePath(QStringLiteral("root")));
    RecordingNotificationSink notes;
    Console console;
    ProgressReporter reporter(registry, notes, console.stream);
    reporter.ReportStatus(progress::kConnectFailed);
    QCOMPARE(console.text(), QByteArray("Error closing key.\n"));
    QVERIFY(!QDir(registry.Root()).exists());
}

void TestProgress::unwritableRootStaysSilent()
{
    // A root that is a file: nothing can be opened or written, nothing is thrown.
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("root")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    FileRegistryStore registry(blocker.fileName());
    RecordingNotificationSink notes;
    Console console;
    ProgressReporter reporter(registry, notes, console.stream);
    reporter.ReportStatus(progress::kNoAddress);
    QCOMPARE(console.text(), QByteArray("Error closing key.\n"));
}

void TestProgress::firstNotificationAddsLaterOnesModify()
{
    QTemporaryDir dir;
    FileRegistryStore registry(dir.path());
    RecordingNotificationSink notes;
    notes.addResult = false; // a failed add still counts as added
    ProgressReporter reporter(registry, notes, nullptr);
    reporter.ShowNotification(optext::kConnectedTitle, optext::kConnectedText);
    reporter.ShowNotification(optext::kDataStatusTitle, optext::kDownloadedText);
    reporter.ShowNotification(optext::kErrorTitle, optext::kNoAddressText);
    QCOMPARE(notes.calls.size(), 3);
    QVERIFY(notes.calls[0].added);
    QVERIFY(!notes.calls[1].added);
    QVERIFY(!notes.calls[2].added);
    QCOMPARE(notes.calls[0].note.tip, optext::kTip);
    QCOMPARE(notes.calls[0].note.timeoutMs, 5000);
    QCOMPARE(notes.calls[1].note.text, optext::kDownloadedText);
}

void TestProgress::notificationTextsAreCut()
{
    QTemporaryDir dir;
    FileRegistryStore registry(dir.path());
    RecordingNotificationSink notes;
    ProgressReporter reporter(registry, notes, nullptr);
    reporter.ShowNotification(QString(100, QLatin1Char('t')), QString(300, QChar(0x0628)),
                              QString(128, QLatin1Char('p')), 5);
    const TrayNote& note = notes.calls.first().note;
    QCOMPARE(note.title.size(), 63);
    QCOMPARE(note.text, QString(255, QChar(0x0628)));
    QCOMPARE(note.tip.size(), 127);
    // Texts that fit are kept whole.
    QCOMPARE(FitNotificationField(QString(255, QLatin1Char('x')), 256).size(), 255);
}

QTEST_GUILESS_MAIN(TestProgress)
#include "tst_progress.moc"
