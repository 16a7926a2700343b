// Export file: path, preparation, deletion, line bytes, date texts.
#include "TempDir.h"

#include "platform/DateTexts.h"
#include "platform/MessageSink.h"
#include "terminal/ExportFile.h"
#include "terminal/ExportWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class ExportFileTest : public QObject {
    Q_OBJECT
private slots:
    void dateTexts_data();
    void dateTexts();
    void exportPath_data();
    void exportPath();
    void missingParentIsNotCreated();
    void prepareCreatesEmptyAndKeepsExisting();
    void ownerOnly();
    void deleteExportFile();
    void lineBytes_data();
    void lineBytes();
    void discardKeepsPreviousFile();
    void unwritableFolderFailsToOpen();
};

void ExportFileTest::dateTexts_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("c");
    QTest::addColumn<QString>("pad");
    QTest::addColumn<QString>("dayMonthYear");
    QTest::addColumn<QString>("yearMonthDay");
    QTest::addColumn<QString>("time");
    QTest::newRow("small") << 7 << 3 << 9 << QStringLiteral("07") << QStringLiteral("07-03-09")
                           << QStringLiteral("07-03-09") << QStringLiteral("07:03:09 ");
    QTest::newRow("zero") << 0 << 0 << 0 << QStringLiteral("00") << QStringLiteral("00-00-00")
                          << QStringLiteral("00-00-00") << QStringLiteral("00:00:00 ");
    QTest::newRow("year") << 2024 << 12 << 31 << QStringLiteral("2024")
                          << QStringLiteral("2024-12-31") << QStringLiteral("2024-12-31")
                          << QStringLiteral("2024:12:31 ");
    QTest::newRow("negative is below 10")
        << -5 << 10 << 1 << QStringLiteral("0-5") << QStringLiteral("0-5-10-01")
        << QStringLiteral("0-5-10-01") << QStringLiteral("0-5:10:01 ");
}

void ExportFileTest::dateTexts()
{
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, c);
    QFETCH(QString, pad);
    QFETCH(QString, dayMonthYear);
    QFETCH(QString, yearMonthDay);
    QFETCH(QString, time);
    QCOMPARE(Pad2(a), pad);
    QCOMPARE(DayMonthYearText(a, b, c), dayMonthYear);
    QCOMPARE(YearMonthDayText(a, b, c), yearMonthDay);
    QCOMPARE(TimeText(a, b, c), time);
}

void ExportFileTest::exportPath_data()
{
    // filePath and the expected path relative to the temporary folder; "<exe>"
    // stands for the executable's folder given to MakeExportPath.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("filePath");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("createdFolder");
    QTest::newRow("beside the executable")
        << QStringLiteral("Gate1") << QString() << QStringLiteral("<exe>/log/Gate1_20240305.txt")
        << QStringLiteral("<exe>/log");
    QTest::newRow("own folder") << QStringLiteral("Gate1") << QStringLiteral("<tmp>/out")
                                << QStringLiteral("<tmp>/out/Gate1_20240305.txt")
                                << QStringLiteral("<tmp>/out");
    QTest::newRow("folder with trailing slash")
        << QStringLiteral("Gate1") << QStringLiteral("<tmp>/out/")
        << QStringLiteral("<tmp>/out//Gate1_20240305.txt") << QStringLiteral("<tmp>/out");
    QTest::newRow("empty name") << QString() << QStringLiteral("<tmp>")
                                << QStringLiteral("<tmp>/_20240305.txt") << QString();
    QTest::newRow("fixed file, upper case")
        << QStringLiteral("Gate1") << QStringLiteral("<tmp>/none/ALL.TXT")
        << QStringLiteral("<tmp>/none/ALL.TXT") << QString();
    QTest::newRow("fixed file, lower case")
        << QStringLiteral("Gate2") << QStringLiteral("<tmp>/none/all.txt")
        << QStringLiteral("<tmp>/none/all.txt") << QString();
    // Device names come from the device table: they never lead out of the folder.
    QTest::newRow("name with slashes and dots")
        << QStringLiteral("../../etc/cron.d/x") << QStringLiteral("<tmp>/out")
        << QStringLiteral("<tmp>/out/______etc_cron.d_x_20240305.txt")
        << QStringLiteral("<tmp>/out");
    QTest::newRow("name with a line break, bracket and backslash")
        << QStringLiteral("Gate\n1]\\a\tb") << QStringLiteral("<tmp>/out")
        << QStringLiteral("<tmp>/out/Gate_1__a_b_20240305.txt") << QStringLiteral("<tmp>/out");
    QTest::newRow("dots alone") << QStringLiteral("..") << QStringLiteral("<tmp>/out")
                                << QStringLiteral("<tmp>/out/___20240305.txt")
                                << QStringLiteral("<tmp>/out");
    QTest::newRow("arabic name, single dots kept")
        << QStringLiteral("بوابة.1") << QStringLiteral("<tmp>/out")
        << QStringLiteral("<tmp>/out/بوابة.1_20240305.txt") << QStringLiteral("<tmp>/out");
    QTest::newRow("txt without dot is a folder")
        << QStringLiteral("G") << QStringLiteral("<tmp>/logtxt")
        << QStringLiteral("<tmp>/logtxt/G_20240305.txt") << QStringLiteral("<tmp>/logtxt");
}

void ExportFileTest::exportPath()
{
    QFETCH(QString, name);
    QFETCH(QString, filePath);
    QFETCH(QString, expected);
    QFETCH(QString, createdFolder);
    QTemporaryDir tmp;
    const QString exe = tmp.path() + QStringLiteral("/bin");
    QVERIFY(QDir().mkdir(exe));
    auto resolve = [&](QString text) {
        return text.replace(QStringLiteral("<exe>"), exe)
            .replace(QStringLiteral("<tmp>"), tmp.path());
    };
    const FixedClock clock(QDateTime(QDate(2024, 3, 5), QTime(23, 59, 59)));
    QCOMPARE(MakeExportPath(name, resolve(filePath), clock, exe), resolve(expected));
    if (!createdFolder.isEmpty())
        QVERIFY(QFileInfo(resolve(createdFolder)).isDir());
    QVERIFY(!QFileInfo::exists(tmp.path() + QStringLiteral("/none")));
}

void ExportFileTest::missingParentIsNotCreated()
{
    QTemporaryDir tmp;
    const QString folder = tmp.path() + QStringLiteral("/a/b");
    const FixedClock clock(QDateTime(QDate(2024, 3, 5), QTime(8, 0)));
    const QString path = MakeExportPath(QStringLiteral("Gate1"), folder, clock, tmp.path());
    QVERIFY(!QFileInfo::exists(tmp.path() + QStringLiteral("/a")));
    ExportWriter writer;
    QVERIFY(!writer.Open(path));
}

void ExportFileTest::prepareCreatesEmptyAndKeepsExisting()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("Gate1_20240305.txt"));
    PrepareExportFile(path);
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(testsupport::ReadBytes(path), QByteArray());
    QVERIFY(testsupport::WriteBytes(path, "old\r\n"));
    PrepareExportFile(path);
    QCOMPARE(testsupport::ReadBytes(path), QByteArray("old\r\n"));
}

void ExportFileTest::ownerOnly()
{
    // Punches are personal data: the folder, a prepared file and a written
    // file (also one that was readable by others before) are the owner's only.
    QTemporaryDir tmp;
    const FixedClock clock(QDateTime(QDate(2024, 3, 5), QTime(8, 0)));
    const QString folder = tmp.path() + QStringLiteral("/out");
    const QString path = MakeExportPath(QStringLiteral("Gate1"), folder, clock, tmp.path());
    if (testsupport::kFilesHaveModes)
        QCOMPARE(testsupport::FileMode(folder), 0700);
    PrepareExportFile(path);
    if (testsupport::kFilesHaveModes)
        QCOMPARE(testsupport::FileMode(path), 0600);
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther |
                                            QFile::ReadGroup));
    ExportWriter writer;
    QVERIFY(writer.Open(path));
    writer.WriteLine(CAttLogRec{0, QStringLiteral("1"), 1, 0, 0, 2024, 3, 5, 8, 0, 0});
    QVERIFY(writer.Commit());
    if (testsupport::kFilesHaveModes)
        QCOMPARE(testsupport::FileMode(path), 0600);
}

void ExportFileTest::deleteExportFile()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("x.txt"));
    QVERIFY(testsupport::WriteBytes(path, "x"));
    RecordingMessageSink messages;
    DeleteExportFile(path, messages);
    QVERIFY(!QFileInfo::exists(path));
    DeleteExportFile(path, messages); // already gone: silent
    QVERIFY(messages.messages.isEmpty());
    DeleteExportFile(QString(), messages);
    QCOMPARE(messages.messages, QStringList{QStringLiteral("File path cannot be empty.")});
}

void ExportFileTest::lineBytes_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QList<int>>("values"); // code1 code2 year month day hour minute second code3
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("example") << QStringLiteral("1042") << QList<int>{1, 0, 2024, 3, 5, 8, 7, 9, 0}
                             << QByteArray("1042\t05-03-2024 08:07:09 \t1\t0\t0\r\n");
    QTest::newRow("february") << QStringLiteral("7") << QList<int>{1, 0, 2024, 2, 1, 9, 5, 0, 0}
                              << QByteArray("7\t01-02-2024 09:05:00 \t1\t0\t0\r\n");
    QTest::newRow("large and negative codes")
        << QStringLiteral("9") << QList<int>{-1, 15, 2024, 12, 31, 23, 59, 59, 2147483647}
        << QByteArray("9\t31-12-2024 23:59:59 \t-1\t15\t2147483647\r\n");
    QTest::newRow("quotes") << QStringLiteral("12\"3'4") << QList<int>{1, 1, 2024, 3, 5, 8, 0, 0, 0}
                            << QByteArray("12\"3'4\t05-03-2024 08:00:00 \t1\t1\t0\r\n");
    QTest::newRow("arabic through the code page")
        << QStringLiteral("أحمد٣") << QList<int>{1, 0, 2024, 3, 5, 8, 0, 0, 0}
        << QByteArray("\xc3\xcd\xe3\xcf?\t05-03-2024 08:00:00 \t1\t0\t0\r\n");
    QTest::newRow("control characters cannot split the line")
        << QStringLiteral("A\tB\r\nC") << QList<int>{1, 0, 2024, 3, 5, 8, 0, 0, 0}
        << QByteArray("A?B??C\t05-03-2024 08:00:00 \t1\t0\t0\r\n");
    QTest::newRow("empty card") << QString() << QList<int>{1, 0, 2024, 3, 5, 8, 0, 0, 0}
                                << QByteArray("\t05-03-2024 08:00:00 \t1\t0\t0\r\n");
}

void ExportFileTest::lineBytes()
{
    QFETCH(QString, card);
    QFETCH(QList<int>, values);
    QFETCH(QByteArray, bytes);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("out.txt"));
    ExportWriter writer;
    QVERIFY(writer.Open(path));
    const auto& v = values;
    const CAttLogRec punch{0, card, v[0], v[1], v[8], v[2], v[3], v[4], v[5], v[6], v[7]};
    writer.WriteLine(punch);
    writer.WriteLine(punch);
    QVERIFY(writer.Commit());
    QCOMPARE(testsupport::ReadBytes(path), bytes + bytes);
}

void ExportFileTest::discardKeepsPreviousFile()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("out.txt"));
    QVERIFY(testsupport::WriteBytes(path, "previous\r\n"));
    ExportWriter writer;
    QVERIFY(writer.Open(path));
    writer.WriteLine(CAttLogRec{0, QStringLiteral("1"), 1, 0, 0, 2024, 3, 5, 8, 0, 0});
    QCOMPARE(testsupport::ReadBytes(path), QByteArray("previous\r\n"));
    writer.Discard();
    QCOMPARE(testsupport::ReadBytes(path), QByteArray("previous\r\n"));
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("out.txt")});
}

void ExportFileTest::unwritableFolderFailsToOpen()
{
    QTemporaryDir tmp;
    ExportWriter writer;
    QVERIFY(!writer.Open(tmp.path())); // a folder, not a file
    QVERIFY(!writer.Commit());
}

QTEST_GUILESS_MAIN(ExportFileTest)
#include "tst_export_file.moc"
