// DownloadLog over the scripted link: the terminal is enabled again on every
// way out, onPunches hears of the progress and can cancel, and the report
// tells what the download did.
#include "TempDir.h"
#include "TerminalTestKit.h"

#include "resources/OperatorTexts.h"
#include "terminal/DownloadLog.h"

#include <QDir>
#include <QTest>

namespace {

using Progress = QList<QPair<qint64, qint64>>;

struct StepsRig {
    StepsRig()
    {
        device.Name = QStringLiteral("Gate1");
        device.FilePath = folder.path();
        link.open = true;
        range.FromPicker = QDateTime(QDate(2024, 3, 1), QTime(0, 0));
        range.ToPicker = QDateTime(QDate(2024, 3, 31), QTime(0, 0));
        ctx.onPunches = [this](qint64 received, qint64 announced) {
            heard.append({received, announced});
            return cancelAt < 0 || received < cancelAt;
        };
    }
    // count punches, every third one outside the range.
    void Log(int count)
    {
        for (int i = 0; i < count; ++i)
            link.punches.append(FakeTerminalLink::Punch(QString::number(1000 + i % 50),
                                                        QDate(2024, i % 3 == 2 ? 4 : 3, 5)));
    }
    bool Download() { return DownloadLog(device, range, movements, ctx); }
    QString ExportPath() const { return folder.path() + QStringLiteral("/Gate1_20240305.txt"); }
    // The link calls from the disabling on.
    QStringList ActiveCalls() const { return link.calls.filter(QStringLiteral("active")); }

    QTemporaryDir folder;
    FakeTerminalLink link;
    RecordingProgress progress;
    RecordingMessageSink messages;
    FixedClock clock{QDateTime(QDate(2024, 3, 5), QTime(14, 30, 0))};
    TransferContext ctx{link, progress, messages, clock, folder.path()};
    CConnServer device;
    DownloadRange range;
    MovementList movements;
    Progress heard;
    qint64 cancelAt = -1; // onPunches answers false from this count on
};

} // namespace

class DownloadStepsTest : public QObject {
    Q_OBJECT
private slots:
    void terminalEnabledOnEveryPath_data();
    void terminalEnabledOnEveryPath();
    void reportOfACompleteDownload();
    void anExportNotWrittenIsNoSuccess();
    void anExportTriedChangesNothing_data();
    void anExportTriedChangesNothing();
    void reportResetWithoutALink();
};

void DownloadStepsTest::terminalEnabledOnEveryPath_data()
{
    QTest::addColumn<int>("loadRefused"); // -1: the log loads
    QTest::addColumn<int>("breakAfter");
    QTest::addColumn<qint64>("cancelAt");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<qint64>("received");
    QTest::newRow("complete") << -1 << -1 << qint64(-1) << true << false << qint64(2500);
    QTest::newRow("log refused") << 7 << -1 << qint64(-1) << false << false << qint64(0);
    QTest::newRow("stream broken") << -1 << 1700 << qint64(-1) << false << false << qint64(1700);
    QTest::newRow("cancelled midway") << -1 << -1 << qint64(2000) << false << true << qint64(2000);
    QTest::newRow("cancelled at the end")
        << -1 << -1 << qint64(2500) << false << true << qint64(2500);
}

void DownloadStepsTest::terminalEnabledOnEveryPath()
{
    QFETCH(int, loadRefused);
    QFETCH(int, breakAfter);
    QFETCH(qint64, cancelAt);
    QFETCH(bool, ok);
    QFETCH(bool, cancelled);
    QFETCH(qint64, received);
    StepsRig rig;
    rig.Log(2500);
    if (loadRefused >= 0)
        rig.link.loadRefused = loadRefused;
    rig.link.breakAfter = breakAfter;
    rig.cancelAt = cancelAt;
    QVERIFY(testsupport::WriteBytes(rig.ExportPath(), "previous\r\n"));

    QCOMPARE(rig.Download(), ok);
    // Disabled once for the download, and enabled again as its last act
    // while the link works; a lost link leaves that to the terminal, which
    // enables itself as the session ends.
    QStringList calls{QStringLiteral("active 0"), QStringLiteral("active 1")};
    if (breakAfter >= 0)
        calls.removeLast();
    QCOMPARE(rig.ActiveCalls(), calls);
    QVERIFY(rig.link.active);
    QCOMPARE(rig.ctx.download.Cancelled(), cancelled);
    QCOMPARE(rig.ctx.download.received, received);
    if (ok)
        return;
    QVERIFY(rig.movements.isEmpty());
    QCOMPARE(testsupport::ReadBytes(rig.ExportPath()), QByteArray("previous\r\n"));
    QCOMPARE(QDir(rig.folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    QVERIFY(!rig.progress.codes.contains(progress::kDownloaded));
    // A cancel is the operator's (or the run's) own decision: no message box.
    QCOMPARE(rig.messages.messages.isEmpty(), cancelled);
}

void DownloadStepsTest::reportOfACompleteDownload()
{
    StepsRig rig;
    rig.Log(2500);
    rig.link.announce = 2500;
    QVERIFY(rig.Download());
    const DownloadReport& report = rig.ctx.download;
    QCOMPARE(report.received, 2500);
    QCOMPARE(report.announced, 2500);
    QCOMPARE(report.kept, 2500 - 833); // every third punch lies in April
    QCOMPARE(rig.movements.size(), report.kept);
    QVERIFY(!report.Cancelled());
    QVERIFY(report.exportProblem.isEmpty());
    QCOMPARE(report.exportFile, rig.ExportPath());
    // Every thousand punches (and more often when they come slowly), and once at the end.
    QVERIFY(rig.heard.contains(qMakePair(qint64(1000), qint64(2500))));
    QVERIFY(rig.heard.contains(qMakePair(qint64(2000), qint64(2500))));
    QCOMPARE(rig.heard.last(), qMakePair(qint64(2500), qint64(2500)));
    for (qsizetype i = 1; i < rig.heard.size(); ++i)
        QVERIFY(rig.heard[i].first >= rig.heard[i - 1].first);
    QCOMPARE(testsupport::ReadBytes(rig.ExportPath()).count('\n'), report.kept);
    if (testsupport::kFilesHaveModes)
        QCOMPARE(testsupport::FileMode(rig.ExportPath()), 0600);
}

void DownloadStepsTest::anExportNotWrittenIsNoSuccess()
{
    // The punches are read and queued; the download says the file was not
    // opened, and neither "7" nor its success text follows.
    StepsRig rig;
    rig.Log(30);
    rig.device.FilePath = rig.folder.path() + QStringLiteral("/missing/deeper");
    QVERIFY(rig.Download());
    QCOMPARE(rig.movements.size(), 20);
    QVERIFY2(
        rig.ctx.download.exportProblem.startsWith(QStringLiteral("cannot open the export file ") +
                                                  QDir::toNativeSeparators(rig.device.FilePath)),
        qPrintable(rig.ctx.download.exportProblem));
    QVERIFY(rig.ctx.download.exportFile.isEmpty());
    QVERIFY(rig.progress.codes.isEmpty());
    QCOMPARE(rig.progress.notes.size(), 1);
    QCOMPARE(rig.progress.notes.last().text, optext::kFileNotOpenedText);
}

void DownloadStepsTest::anExportTriedChangesNothing_data()
{
    QTest::addColumn<bool>("earlierFile");
    QTest::addColumn<QString>("subfolder"); // of the export folder; made by the download
    QTest::newRow("the day's file there") << true << QString();
    QTest::newRow("the folder made and removed") << false << QStringLiteral("/new");
}

void DownloadStepsTest::anExportTriedChangesNothing()
{
    // Tried, the export asks the terminal what a written one asks, queues the
    // same punches, and leaves the folder and the day's file as they were.
    QFETCH(bool, earlierFile);
    QFETCH(QString, subfolder);
    StepsRig written;
    written.Log(30);
    QVERIFY(written.Download());
    StepsRig tried;
    tried.Log(30);
    tried.device.FilePath += subfolder;
    if (earlierFile)
        QVERIFY(testsupport::WriteBytes(tried.ExportPath(), "earlier\r\n"));
    tried.ctx.exportMode = ExportMode::Try;
    QVERIFY(tried.Download());
    QCOMPARE(tried.link.calls, written.link.calls);
    QCOMPARE(tried.movements.size(), written.movements.size());
    QCOMPARE(tried.movements.at(19), written.movements.at(19));
    QVERIFY(tried.ctx.download.exportProblem.isEmpty());
    QVERIFY(tried.ctx.download.exportFile.isEmpty());
    QCOMPARE(QDir(tried.folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             earlierFile ? QStringList{QStringLiteral("Gate1_20240305.txt")} : QStringList());
    if (earlierFile)
        QCOMPARE(testsupport::ReadBytes(tried.ExportPath()), QByteArray("earlier\r\n"));
}

void DownloadStepsTest::reportResetWithoutALink()
{
    StepsRig rig;
    rig.Log(10);
    QVERIFY(rig.Download());
    QCOMPARE(rig.ctx.download.received, 10);
    rig.link.open = false;
    QVERIFY(!rig.Download());
    QCOMPARE(rig.ctx.download.received, 0);
    QCOMPARE(rig.ctx.download.announced, -1);
    QCOMPARE(rig.ActiveCalls().size(), 2); // none by the second call
}

QTEST_GUILESS_MAIN(DownloadStepsTest)
#include "tst_download_steps.moc"
