#include "TempDir.h"

#include "platform/CodePage.h"
#include "platform/MessageSink.h"
#include "resources/FaultTexts.h"
#include "resources/OperatorTexts.h"
#include "settings/CCrypt.h"
#include "settings/SettingsFile.h"
#include "settings/SharedFields.h"
#include "store/ConnectionString.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using testsupport::FileMode;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

QByteArray utf16(const QString& text)
{
    return QByteArray("\xFF\xFE", 2) + ToUtf16Le(text);
}

CConnServer device(const QString& id, const QString& name,
                   const QString& check = QStringLiteral("1"))
{
    CConnServer d;
    d.DeviceId = id;
    d.Name = name;
    d.FilePath = QStringLiteral("/srv/export");
    d.IsCheck = check;
    d.IsDeleteFile = QStringLiteral("0");
    d.Server = QStringLiteral("db1");
    d.User = QStringLiteral("sa");
    d.Pass = QStringLiteral("secret");
    d.DbName = QStringLiteral("Hr");
    return d;
}

const QString kGate1Section =
    QStringLiteral("[Gate1]\nDeviceId=7\nFilePath=/srv/export\nIsCheck=1\n"
                   "IsDeleteFile=0\nServer=db1\nUser=sa\n"
                   "Pass=949a2a29e88a\nDbName=Hr\n");

} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT
private slots:
    void init();
    void saveWritesExactBytes();
    void saveOfEmptyListIsTheMarkAlone();
    void saveFailureKeepsOldFile();
    void reloadGivesBackTheSavedList();
    void savedBackUnchanged_data();
    void savedBackUnchanged();
    void readingFreedoms_data();
    void readingFreedoms();
    void sectionsInheritFromTheOneBefore();
    void duplicateSectionsEndEqual();
    void refusedFiles_data();
    void refusedFiles();
    void oddAndTruncatedText();
    void junkNeverCrashes();
    void hugeLineIsReadQuickly();
    void namesCannotAddSections();
    void manySectionsOfOneNameAreReadQuickly();
    void saveSaysWhatItWouldUnify_data();
    void saveSaysWhatItWouldUnify();

private:
    QString path() const { return dir_->filePath(QStringLiteral("config.ini")); }
    CConnServerList load(const QByteArray& bytes, QStringList* offered = nullptr);

    std::unique_ptr<QTemporaryDir> dir_;
    CCrypt crypt_;
    RecordingMessageSink messages_;
};

void TestSettingsFile::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    messages_.messages.clear();
}

// Reads the file as the program does: a problem becomes a message, and the
// names offered replace the combo's only when the file was read.
CConnServerList TestSettingsFile::load(const QByteArray& bytes, QStringList* offered)
{
    WriteBytes(path(), bytes);
    CConnServerList devices;
    const SettingsLoad result = ReloadSettings(path(), devices, crypt_);
    if (!result.read)
        messages_.Show(result.problem);
    else if (offered)
        *offered = OfferedNames(devices);
    return devices;
}

void TestSettingsFile::saveWritesExactBytes()
{
    CConnServerList devices{device(QStringLiteral("7"), QStringLiteral("Gate1")),
                            device(QString(), QStringLiteral("NoId"))};
    QVERIFY(SaveSettings(devices, path(), crypt_));
    QCOMPARE(ReadBytes(path()), utf16(kGate1Section));
    if (testsupport::kFilesHaveModes)
        QCOMPARE(FileMode(path()), 0600);
}

void TestSettingsFile::saveOfEmptyListIsTheMarkAlone()
{
    QVERIFY(SaveSettings({}, path(), crypt_));
    QCOMPARE(ReadBytes(path()), QByteArray("\xFF\xFE", 2));
}

void TestSettingsFile::saveFailureKeepsOldFile()
{
    // A folder where the file should be: nothing can replace it.
    QDir(dir_->path()).mkdir(QStringLiteral("config.ini"));
    QVERIFY(!SaveSettings({device(QStringLiteral("1"), QStringLiteral("A"))}, path(), crypt_));
    QVERIFY(QFileInfo(path()).isDir());

    // A missing folder: nothing created.
    const QString missing = dir_->filePath(QStringLiteral("no/such/config.ini"));
    QVERIFY(!SaveSettings({}, missing, crypt_));
    QVERIFY(!QFile::exists(missing));
}

void TestSettingsFile::reloadGivesBackTheSavedList()
{
    CConnServer a = device(QStringLiteral("3"), QStringLiteral("Front door"));
    a.IP = QStringLiteral("10.0.0.5");
    a.Port = QStringLiteral("4370");
    a.IPKey = QStringLiteral("12");
    a.Pass = QStringLiteral("كلمة;{x}%");
    a.DriverOptions = QStringLiteral("Encrypt=yes;TrustServerCertificate=yes");
    a.Driver = QStringLiteral("ODBC Driver 18 for SQL Server");
    CConnServer b = device(QStringLiteral("1"), QStringLiteral("البوابة"), QStringLiteral("0"));
    CConnServer c = device(QStringLiteral("2"), QStringLiteral("Back"));
    QVERIFY(SaveSettings({a, b, c}, path(), crypt_));

    QStringList combo{QStringLiteral("stale")};
    const CConnServerList loaded = load(ReadBytes(path()), &combo);
    QVERIFY(messages_.messages.isEmpty());
    QCOMPARE(loaded.size(), 3);
    // Addresses are never stored; the connection string is rebuilt.
    for (CConnServer* d : {&a, &b, &c}) {
        d->IP.clear();
        d->Port.clear();
        d->IPKey.clear();
        d->ConnStr = BuildConnStr(*d);
    }
    QCOMPARE(loaded, (CConnServerList{a, b, c}));
    QCOMPARE(combo, (QStringList{QStringLiteral("Front door"), QStringLiteral("Back")}));
}

void TestSettingsFile::savedBackUnchanged_data()
{
    QTest::addColumn<QString>("lineEnd");
    QTest::newRow("line feeds, as this program writes") << QStringLiteral("\n");
    QTest::newRow("carriage returns too, as edited on Windows") << QStringLiteral("\r\n");
}

// A file read and saved without a change stays byte for byte the same.
void TestSettingsFile::savedBackUnchanged()
{
    QFETCH(QString, lineEnd);
    QString text =
        kGate1Section + QString(kGate1Section)
                            .replace(QStringLiteral("[Gate1]"), QStringLiteral("[البوابة]"))
                            .replace(QStringLiteral("Id=7"), QStringLiteral("Id=8"));
    text.replace(QStringLiteral("\n"), lineEnd);
    const CConnServerList devices = load(utf16(text));
    QCOMPARE(devices.size(), 2);
    QVERIFY(SaveSettings(devices, path(), crypt_));
    QCOMPARE(ReadBytes(path()), utf16(text));
}

void TestSettingsFile::readingFreedoms_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    const QString head = QStringLiteral("[A]\nDeviceId=1\n");
    QTest::newRow("crlf, blank and indented lines")
        << QStringLiteral("\r\n  [A]\r\n\r\n\tDeviceId=1\r\n   Server=db9  \r\n") << "Server"
        << "db9";
    QTest::newRow("key in lower case")
        << head + QStringLiteral("isdeletefile=1\n") << "IsDeleteFile"
        << "1";
    QTest::newRow("blanks around = set nothing")
        << head + QStringLiteral("IsDeleteFile = 1\n") << "IsDeleteFile"
        << "";
    QTest::newRow("value holds =") << head + QStringLiteral("FilePath=C:\\a=b\n") << "FilePath"
                                   << "C:\\a=b";
    QTest::newRow("unknown key and plain line ignored")
        << head + QStringLiteral("Colour=red\njust text\nUser=u\n") << "User"
        << "u";
    QTest::newRow("key before the first section")
        << QStringLiteral("Server=X\n[A]\nDeviceId=1\n") << "Server"
        << "X";
    QTest::newRow("empty value") << head + QStringLiteral("DbName=\n") << "DbName"
                                 << "";
    QTest::newRow("enciphered password") << head + QStringLiteral("Pass=949E\n") << "Pass"
                                         << "sa";
}

void TestSettingsFile::readingFreedoms()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QFETCH(QString, value);
    const CConnServerList loaded = load(utf16(text));
    QCOMPARE(loaded.size(), 1);
    const CConnServer& d = loaded.first();
    const QHash<QString, QString> fields{
        {QStringLiteral("Server"), d.Server},     {QStringLiteral("IsDeleteFile"), d.IsDeleteFile},
        {QStringLiteral("FilePath"), d.FilePath}, {QStringLiteral("User"), d.User},
        {QStringLiteral("DbName"), d.DbName},     {QStringLiteral("Pass"), d.Pass}};
    QCOMPARE(fields.value(field), value);
    QCOMPARE(d.DeviceId, QStringLiteral("1"));
}

void TestSettingsFile::sectionsInheritFromTheOneBefore()
{
    const CConnServerList loaded = load(utf16(kGate1Section + QStringLiteral("[B]\nDeviceId=9\n")));
    QCOMPARE(loaded.size(), 2);
    CConnServer expected = loaded.first();
    expected.Name = QStringLiteral("B");
    expected.DeviceId = QStringLiteral("9");
    QCOMPARE(loaded.at(1), expected);
    QCOMPARE(loaded.at(1).ConnStr, BuildConnStr(expected));
    QCOMPARE(loaded.at(1).Pass, QStringLiteral("secret"));
}

void TestSettingsFile::duplicateSectionsEndEqual()
{
    const CConnServerList loaded = load(utf16(
        QStringLiteral("[A]\nDeviceId=1\nServer=s1\n[a]\nDeviceId=2\nUser=u2\n[A]\nDbName=d3\n")));
    QCOMPARE(loaded.size(), 3);
    // Names compare ignoring case when key lines overwrite: every record named
    // like the current section takes the first one's values plus the new key.
    QCOMPARE(loaded.at(0).DbName, QStringLiteral("d3"));
    QCOMPARE(loaded.at(2), loaded.at(0));
    QCOMPARE(loaded.at(1).Name, QStringLiteral("A"));
}

void TestSettingsFile::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QByteArray() << faulttext::kSettingsNotUtf16;
    QTest::newRow("one byte") << QByteArray("\xFF", 1) << faulttext::kSettingsNotUtf16;
    QTest::newRow("no mark") << QByteArray("[A]\nDeviceId=1\n") << faulttext::kSettingsNotUtf16;
    QTest::newRow("big-endian mark")
        << QByteArray("\xFE\xFF\x00[", 4) << faulttext::kSettingsNotUtf16;
}

void TestSettingsFile::refusedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QStringList combo{QStringLiteral("kept")};
    QVERIFY(load(bytes, &combo).isEmpty());
    QCOMPARE(messages_.messages, QStringList{message});
    QCOMPARE(combo, QStringList{QStringLiteral("kept")});

    CConnServerList devices{device(QStringLiteral("1"), QStringLiteral("old"))};
    const SettingsLoad missing =
        ReloadSettings(dir_->filePath(QStringLiteral("missing.ini")), devices, crypt_);
    QVERIFY(devices.isEmpty());
    QVERIFY(!missing.read);
    // The system's own reason.
#ifdef Q_OS_WIN
    const QString reason = QStringLiteral(" (File not found.)");
#else
    const QString reason = QStringLiteral(" (No such file or directory)");
#endif
    QCOMPARE(missing.problem, faulttext::kSettingsOpenFailed + reason);
}

void TestSettingsFile::oddAndTruncatedText()
{
    // An odd last byte is dropped.
    QByteArray odd = utf16(QStringLiteral("[A]\nDeviceId=12\n"));
    odd.append('\x41');
    CConnServerList loaded = load(odd);
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(loaded.first().DeviceId, QStringLiteral("12"));

    // The text ends at the first zero unit.
    loaded = load(utf16(QStringLiteral("[A]\nDeviceId=1") + QChar(0) +
                        QStringLiteral("2\n[B]\nDeviceId=3\n")));
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(loaded.first().DeviceId, QStringLiteral("1"));
}

void TestSettingsFile::junkNeverCrashes()
{
    QRandomGenerator random(20261207);
    for (int round = 0; round < 50; ++round) {
        QByteArray bytes("\xFF\xFE", 2);
        // An even count of non-zero bytes, so the structure below stays aligned
        // and no zero unit ends the text early.
        const int size = 2 * int(random.bounded(2048));
        for (int i = 0; i < size; ++i)
            bytes.append(char(1 + random.bounded(255)));
        // Sprinkle structure so that headers and keys do occur.
        bytes.append(utf16(QStringLiteral("\n[Z]\nPass=zz\xFF\nIsCheck=1\n")).mid(2));
        QStringList combo;
        const CConnServerList loaded = load(bytes, &combo);
        QVERIFY(!loaded.isEmpty());
        QVERIFY(combo.contains(QStringLiteral("Z")));
    }
}

void TestSettingsFile::hugeLineIsReadQuickly()
{
    // 10 MB of one line, then many sections: read in linear time.
    QString text = QStringLiteral("FilePath=") + QString(5 * 1024 * 1024, QLatin1Char('x')) +
                   QLatin1Char('\n');
    for (int i = 0; i < 20000; ++i)
        text += QStringLiteral("[S%1]\nDeviceId=%1\nIsCheck=1\n").arg(i);
    QElapsedTimer timer;
    timer.start();
    QStringList combo;
    const CConnServerList loaded = load(utf16(text), &combo);
    QCOMPARE(loaded.size(), 20000);
    QCOMPARE(loaded.first().FilePath.size(), 5 * 1024 * 1024);
    QCOMPARE(combo.size(), 20000);
    QVERIFY2(timer.elapsed() < 20000, "reading took too long");
}

void TestSettingsFile::namesCannotAddSections()
{
    // A name from the device table with line breaks would otherwise start a
    // section of its own with a device the operator never chose.
    CConnServer hostile =
        device(QStringLiteral("7"), QStringLiteral("Gate\n[Evil]\r\nDeviceId=666\x01"));
    QVERIFY(SaveSettings({hostile}, path(), crypt_));
    const CConnServerList loaded = load(ReadBytes(path()));
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(loaded.first().Name, QStringLiteral("Gate_[Evil]__DeviceId=666_"));
    QCOMPARE(loaded.first().DeviceId, QStringLiteral("7"));
    QCOMPARE(StorableDeviceName(QStringLiteral("البوابة ]/..")), QStringLiteral("البوابة ]/.."));

    // Nor can any other text of the section add a key or a section.
    hostile = device(QStringLiteral("7"), QStringLiteral("Gate"));
    hostile.FilePath = QStringLiteral("/srv/x\nDbName=other\n[Evil]\nDeviceId=666");
    QVERIFY(SaveSettings({hostile}, path(), crypt_));
    const CConnServerList reloaded = load(ReadBytes(path()));
    QCOMPARE(reloaded.size(), 1);
    QCOMPARE(reloaded.first().FilePath, QStringLiteral("/srv/x_DbName=other_[Evil]_DeviceId=666"));
    QCOMPARE(reloaded.first().DbName, hostile.DbName);
}

void TestSettingsFile::manySectionsOfOneNameAreReadQuickly()
{
    // Every key line makes all records of the section's name equal: done
    // record by record that was quadratic (11 s for a file of this size).
    QString text;
    for (int i = 0; i < 12000; ++i)
        text += QStringLiteral("[%1]\nDeviceId=%2\n").arg(i % 2 ? u"Gate" : u"gate").arg(i);
    QElapsedTimer timer;
    timer.start();
    const CConnServerList loaded = load(utf16(text));
    const qint64 ms = timer.elapsed();
    QCOMPARE(loaded.size(), 12000);
    // Every record took the value written last, name included.
    for (const CConnServer& d : loaded) {
        QCOMPARE(d.DeviceId, QStringLiteral("11999"));
        QCOMPARE(d.Name, QStringLiteral("Gate"));
    }
    QVERIFY2(ms < 20000, "reading took too long");
}

void TestSettingsFile::saveSaysWhatItWouldUnify_data()
{
    // Three stored devices; Save writes the export folder /a, user hr and no
    // deletion into all of them.
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("users");
    QTest::addColumn<QStringList>("expected");
    const QStringList same{QStringLiteral("/a"), QStringLiteral("/a"), QStringLiteral("/a")};
    const QStringList hr{QStringLiteral("hr"), QStringLiteral("hr"), QStringLiteral("hr")};
    QTest::newRow("all alike") << same << hr << QStringList();
    // An edit of a value the devices share needs no question.
    QTest::newRow("all alike, edited")
        << QStringList{QStringLiteral("/b"), QStringLiteral("/b"), QStringLiteral("/b")} << hr
        << QStringList();
    QTest::newRow("one folder of its own")
        << QStringList{QStringLiteral("/a"), QStringLiteral("/gate"), QStringLiteral("/a")} << hr
        << QStringList{QStringLiteral("G2: ") + optext::kFieldExportFolder};
    QTest::newRow("two fields, two devices")
        << QStringList{QStringLiteral("/x"), QStringLiteral("/a"), QStringLiteral("/y")}
        << QStringList{QStringLiteral("hr"), QStringLiteral("hr"), QStringLiteral("ops")}
        << QStringList{QStringLiteral("G1: ") + optext::kFieldExportFolder,
                       QStringLiteral("G3: ") + optext::kFieldUser + QStringLiteral("، ") +
                           optext::kFieldExportFolder};
}

void TestSettingsFile::saveSaysWhatItWouldUnify()
{
    QFETCH(QStringList, folders);
    QFETCH(QStringList, users);
    QFETCH(QStringList, expected);
    CConnServerList stored;
    for (int i = 0; i < 3; ++i) {
        CConnServer device;
        device.Name = QStringLiteral("G%1").arg(i + 1);
        device.FilePath = folders.at(i);
        device.User = users.at(i);
        device.IsDeleteFile = QStringLiteral("0");
        stored.append(device);
    }
    CConnServer saved;
    saved.FilePath = QStringLiteral("/a");
    saved.User = QStringLiteral("hr");
    saved.IsDeleteFile = QStringLiteral("0");
    QCOMPARE(FieldsSaveUnifies(stored, saved), expected);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
