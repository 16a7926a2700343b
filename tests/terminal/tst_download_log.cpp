// Downloads through the real link from the simulator: the filter, the export
// file's bytes, the movement list, the codes, and every kind of failure.
#include "TempDir.h"
#include "TerminalTestKit.h"

#include "resources/FaultTexts.h"
#include "resources/OperatorTexts.h"
#include "terminal/ConnectDevice.h"
#include "terminal/DownloadLog.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

namespace {

const QStringList kLog = {
    QStringLiteral("1042 1 0 2024 3 5 8 7 9 0"),  QStringLiteral("77 2 1 2024 3 31 23 59 59 5"),
    QStringLiteral("88 1 0 2024 4 1 0 0 0 0"),    QStringLiteral("99 1 0 2024 13 5 8 0 0 0"),
    QStringLiteral("66 1 0 2024 6 31 8 0 0 0"),   QStringLiteral("55 1 1 2024 3 1 0 0 0 0"),
    QStringLiteral("A%09B 1 0 2024 3 2 9 5 0 0"),
};

struct DownloadRig : TransferRig {
    DownloadRig()
    {
        device.Name = QStringLiteral("Gate1");
        device.FilePath = Folder() + QStringLiteral("/out");
    }
    QString ExportPath() const { return device.FilePath + QStringLiteral("/Gate1_20240305.txt"); }
    bool Connect(const QStringList& simOptions)
    {
        if (!StartSim(simOptions) || !ConnectDevice(device, ctx))
            return false;
        progress.codes.clear();
        progress.notes.clear();
        return true;
    }
    bool ConnectWithLog()
    {
        return Connect({QStringLiteral("--log"), WritePunchLog(Folder(), kLog)});
    }
    bool Download(const DownloadRange& range = March(17))
    {
        return DownloadLog(device, range, movements, ctx);
    }
    // Files other than the export file left in the export folder.
    QStringList Leftovers() const
    {
        QStringList files = QDir(device.FilePath).entryList(QDir::Files | QDir::Hidden);
        files.removeAll(QFileInfo(ExportPath()).fileName());
        return files;
    }
    MovementList movements{MoveRecList{MoveRec{QStringLiteral("stale"), QString(), QString()}}};
};

} // namespace

class DownloadLogTest : public QObject {
    Q_OBJECT
private slots:
    void notConnected();
    void keepsPunchesOfTheRange();
    void commandLineDates_data();
    void commandLineDates();
    void nothingInRange();
    void prepareRefused();
    void exportFileNotOpened();
    void deletesTheFileWritten();
    void loadRefused_data();
    void loadRefused();
    void brokenStream_data();
    void brokenStream();
    void oddCardsAndBadDates();
};

void DownloadLogTest::notConnected()
{
    DownloadRig rig;
    QVERIFY(!rig.Download());
    QVERIFY(rig.movements.isEmpty());
    QCOMPARE(rig.progress.codes, QStringList{progress::kNotConnected});
    QCOMPARE(rig.progress.notes.size(), 1);
    QCOMPARE(rig.progress.notes[0].title, optext::kNotConnectedTitle);
    QCOMPARE(rig.progress.notes[0].text, optext::kNotConnectedText);
    QVERIFY(!QFileInfo::exists(rig.device.FilePath));
}

void DownloadLogTest::keepsPunchesOfTheRange()
{
    DownloadRig rig;
    QVERIFY2(rig.ConnectWithLog(), qPrintable(rig.sim.Error()));
    QVERIFY(rig.Download());
    const MoveRecList expected = {
        {QStringLiteral("1042"), QStringLiteral("2024-03-05 08:07:09 "), QStringLiteral("0")},
        {QStringLiteral("77"), QStringLiteral("2024-03-31 23:59:59 "), QStringLiteral("1")},
        {QStringLiteral("55"), QStringLiteral("2024-03-01 00:00:00 "), QStringLiteral("1")},
        {QStringLiteral("A\tB"), QStringLiteral("2024-03-02 09:05:00 "), QStringLiteral("0")},
    };
    QCOMPARE(rig.movements.ToList(), expected);
    QCOMPARE(testsupport::ReadBytes(rig.ExportPath()),
             QByteArray("1042\t05-03-2024 08:07:09 \t1\t0\t0\r\n"
                        "77\t31-03-2024 23:59:59 \t2\t1\t5\r\n"
                        "55\t01-03-2024 00:00:00 \t1\t1\t0\r\n"
                        "A?B\t02-03-2024 09:05:00 \t1\t0\t0\r\n"));
    QCOMPARE(rig.progress.codes, QStringList{progress::kDownloaded});
    QCOMPARE(rig.progress.notes.last().title, optext::kDataStatusTitle);
    QCOMPARE(rig.progress.notes.last().text, optext::kDownloadedText);
    QVERIFY(rig.messages.messages.isEmpty());
    QVERIFY(rig.Leftovers().isEmpty());
    // A second download replaces the file rather than adding to it.
    QVERIFY(rig.Download());
    QCOMPARE(rig.movements.size(), 4);
    QCOMPARE(testsupport::ReadBytes(rig.ExportPath()).count('\n'), 4);
}

void DownloadLogTest::commandLineDates_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QStringList>("cards");
    QTest::newRow("one day, ISO") << QStringLiteral("2024-03-05") << QStringLiteral("2024-03-05")
                                  << QStringList{QStringLiteral("1042")};
    QTest::newRow("locale short format")
        << QLocale::system().toString(QDate(2024, 3, 1), QLocale::ShortFormat)
        << QLocale::system().toString(QDate(2024, 3, 2), QLocale::ShortFormat)
        << QStringList{QStringLiteral("55"), QStringLiteral("A\tB")};
    QTest::newRow("no to-date keeps nothing")
        << QStringLiteral("2024-03-01") << QString() << QStringList{};
    QTest::newRow("to-date alone: pickers decide")
        << QString() << QStringLiteral("2024-03-05")
        << QStringList{QStringLiteral("1042"), QStringLiteral("77"), QStringLiteral("55"),
                       QStringLiteral("A\tB")};
}

void DownloadLogTest::commandLineDates()
{
    QCOMPARE(QLocale::system().name(), QStringLiteral("en_US")); // pinned by the test's environment
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QStringList, cards);
    DownloadRig rig;
    QVERIFY2(rig.ConnectWithLog(), qPrintable(rig.sim.Error()));
    DownloadRange range = March(17);
    range.ArgFromDate = from;
    range.ArgToDate = to;
    QVERIFY(rig.Download(range));
    QStringList got;
    for (const MoveRec& move : rig.movements.ToList())
        got.append(move.CardNb);
    QCOMPARE(got, cards);
}

void DownloadLogTest::nothingInRange()
{
    DownloadRig rig;
    QVERIFY2(rig.ConnectWithLog(), qPrintable(rig.sim.Error()));
    DownloadRange range;
    range.FromPicker = QDateTime(QDate(1990, 1, 1), QTime(0, 0));
    range.ToPicker = QDateTime(QDate(1990, 12, 31), QTime(0, 0));
    QVERIFY(rig.Download(range));
    QVERIFY(rig.movements.isEmpty());
    QCOMPARE(rig.progress.codes, QStringList{progress::kDownloaded});
    QVERIFY(QFileInfo::exists(rig.ExportPath()));
    QCOMPARE(QFileInfo(rig.ExportPath()).size(), 0);
}

void DownloadLogTest::prepareRefused()
{
    DownloadRig rig;
    QVERIFY2(rig.Connect(Args(QStringLiteral("--prepare-refused --count 10"))),
             qPrintable(rig.sim.Error()));
    // A terminal that will not prepare a read fails the download (the fault
    // suite checks the export file and the terminal's state).
    QVERIFY(!rig.Download());
    QVERIFY(rig.movements.isEmpty());
    QVERIFY(rig.progress.codes.isEmpty());
    QCOMPARE(rig.messages.messages, QStringList{faulttext::kReadFailed + QStringLiteral("9")});
    QVERIFY(rig.link.PreparePunchRead(2) == false && rig.link.IsOpen()); // link still in step
}

void DownloadLogTest::exportFileNotOpened()
{
    DownloadRig rig;
    rig.device.FilePath = rig.Folder() + QStringLiteral("/missing/deeper");
    QVERIFY2(rig.ConnectWithLog(), qPrintable(rig.sim.Error()));
    QVERIFY(rig.Download());
    QCOMPARE(rig.movements.size(), 4);
    // The notification that the file was not opened is the last word.
    QCOMPARE(rig.progress.notes.last().title, optext::kDataStatusTitle);
    QCOMPARE(rig.progress.notes.last().text, optext::kFileNotOpenedText);
    QVERIFY(!rig.progress.codes.contains(progress::kDownloaded));
    QVERIFY(!QFileInfo::exists(rig.Folder() + QStringLiteral("/missing")));
}

void DownloadLogTest::deletesTheFileWritten()
{
    DownloadRig rig;
    rig.device.IsDeleteFile = QStringLiteral("1");
    QVERIFY2(rig.ConnectWithLog(), qPrintable(rig.sim.Error()));
    QDir().mkpath(rig.device.FilePath);
    const QString otherFile = rig.device.FilePath + QStringLiteral("/Other_20240305.txt");
    QVERIFY(testsupport::WriteBytes(otherFile, "keep\r\n"));
    QVERIFY(DownloadLog(rig.device, March(17), rig.movements, rig.ctx));
    QCOMPARE(rig.movements.size(), 4);
    QVERIFY(!QFileInfo::exists(rig.ExportPath()));
    QCOMPARE(testsupport::ReadBytes(otherFile), QByteArray("keep\r\n"));
    QVERIFY(rig.messages.messages.isEmpty());
}

void DownloadLogTest::loadRefused_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("error code") << 12
                                << QStringLiteral(
                                       "Reading data from terminal failed,ErrorCode: 12");
    QTest::newRow("no data") << 0 << QStringLiteral("No data from terminal returns!");
}

void DownloadLogTest::loadRefused()
{
    QFETCH(int, code);
    QFETCH(QString, message);
    DownloadRig rig;
    QDir().mkpath(rig.device.FilePath);
    QVERIFY(testsupport::WriteBytes(rig.ExportPath(), "previous\r\n"));
    QVERIFY2(rig.Connect({QStringLiteral("--no-data"), QString::number(code)}),
             qPrintable(rig.sim.Error()));
    QVERIFY(!rig.Download());
    QCOMPARE(rig.messages.messages, QStringList{message});
    QVERIFY(rig.movements.isEmpty());
    QVERIFY(rig.progress.codes.isEmpty());
    QVERIFY(rig.progress.notes.isEmpty());
    QCOMPARE(testsupport::ReadBytes(rig.ExportPath()), QByteArray("previous\r\n"));
    QVERIFY(rig.Leftovers().isEmpty());
}

void DownloadLogTest::brokenStream_data()
{
    QTest::addColumn<QString>("options");
    QTest::newRow("closed mid-stream") << QStringLiteral("--count 3000 --close-after 1500");
    QTest::newRow("closed before the end marker")
        << QStringLiteral("--count 300 --close-after 300");
    QTest::newRow("stalled") << QStringLiteral("--count 3000 --stall-after 100");
    QTest::newRow("garbage") << QStringLiteral("--count 3000 --garbage-after 2000");
    QTest::newRow("oversized line") << QStringLiteral("--count 3000 --oversized-after 10");
}

void DownloadLogTest::brokenStream()
{
    QFETCH(QString, options);
    DownloadRig rig;
    QDir().mkpath(rig.device.FilePath);
    QVERIFY(testsupport::WriteBytes(rig.ExportPath(), "previous\r\n"));
    QVERIFY2(rig.Connect(Args(options)), qPrintable(rig.sim.Error()));
    QVERIFY(!rig.Download());
    QVERIFY(rig.movements.isEmpty());
    QVERIFY(!rig.progress.codes.contains(progress::kDownloaded));
    QCOMPARE(rig.messages.messages.size(), 1);
    // What the operator does next, then the technical line.
    QVERIFY(rig.messages.messages[0].startsWith(optext::kTerminalBrokeOff));
    QVERIFY(
        rig.messages.messages[0].contains(QStringLiteral("\n\nReading data from terminal failed")));
    QCOMPARE(testsupport::ReadBytes(rig.ExportPath()), QByteArray("previous\r\n"));
    QVERIFY(rig.Leftovers().isEmpty());
}

void DownloadLogTest::oddCardsAndBadDates()
{
    DownloadRig rig;
    QVERIFY2(rig.Connect(Args(QStringLiteral("--odd-cards --bad-dates --count 40 --days 1"))),
             qPrintable(rig.sim.Error()));
    QVERIFY(rig.Download());
    const QStringList cards = {QStringLiteral("12\"34"), QStringLiteral("O'Neil 7"),
                               QStringLiteral("A\tB"),   QStringLiteral("أحمد٣٤"),
                               QStringLiteral("x%y"),    QStringLiteral("ص-9")};
    QStringList expected;
    for (int i = 0; i < 40; ++i)
        if (i % 10 != 3 && i % 10 != 6) // month 13 and 31 June are skipped
            expected.append(cards[i % cards.size()]);
    QStringList got;
    for (const MoveRec& move : rig.movements.ToList())
        got.append(move.CardNb);
    QCOMPARE(got, expected);
    QCOMPARE(testsupport::ReadBytes(rig.ExportPath()).count('\n'), 32);
}

QTEST_GUILESS_MAIN(DownloadLogTest)
#include "tst_download_log.moc"
