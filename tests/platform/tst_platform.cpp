#include "TempDir.h"

#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/MessageSink.h"
#include "platform/RegistryStore.h"
#include "platform/SystemdTimer.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void registryKeysAreFolders();
    void registryValuesAreReplacedWhole();
    void registryRootFollowsXdg();
    void atomicWriteKeepsOldFileOnFailure();
    void replacementKeepsOwnerAndMode_data();
    void replacementKeepsOwnerAndMode();
    void codePage_data();
    void codePage();
    void firstOfMonth_data();
    void firstOfMonth();
    void messageLinesAreSingleLines();
    void timerShow_data();
    void timerShow();
};

void TestPlatform::registryKeysAreFolders()
{
    QTemporaryDir dir;
    RegistryStore store(dir.filePath(QStringLiteral("HKCU")));
    const QString key = QStringLiteral("Software\\Quorvant\\Tessar\\Settings\\");
    QVERIFY(!store.KeyExists(key));
    QVERIFY(!store.SetValue(key, QStringLiteral("DevStatus"), QStringLiteral("7")));
    QVERIFY(!QDir(store.Root()).exists()); // setting a value never creates the key

    QVERIFY(store.CreateKey(key));
    QCOMPARE(store.KeyFolder(key),
             store.Root() + QStringLiteral("/Software/Quorvant/Tessar/Settings"));
    QCOMPARE(testsupport::FileMode(store.KeyFolder(key)), 0700);
    QCOMPARE(testsupport::FileMode(store.KeyFolder(QStringLiteral("Software"))), 0700);
    QVERIFY(store.SetValue(key, QStringLiteral("DevStatus"), QStringLiteral("كلمة")));
    const QString file = store.KeyFolder(key) + QStringLiteral("/DevStatus");
    QCOMPARE(testsupport::ReadBytes(file), QStringLiteral("كلمة").toUtf8());
    QCOMPARE(testsupport::FileMode(file), 0600);
    QCOMPARE(store.QueryValue(key, QStringLiteral("DevStatus")), QStringLiteral("كلمة"));
    QVERIFY(!store.QueryValue(key, QStringLiteral("Missing")).has_value());
    QVERIFY(!store.QueryValue(QStringLiteral("Software\\Nope"), QStringLiteral("DevStatus")));
}

void TestPlatform::registryValuesAreReplacedWhole()
{
    QTemporaryDir dir;
    RegistryStore store(dir.path());
    const QString key = QStringLiteral("Software\\Zelvor");
    QVERIFY(store.CreateKey(key));
    QVERIFY(store.SetValue(key, QStringLiteral("V"), QString(1000, QLatin1Char('a'))));
    QVERIFY(store.SetValue(key, QStringLiteral("V"), QStringLiteral("b")));
    QCOMPARE(store.QueryValue(key, QStringLiteral("V")), QStringLiteral("b"));
    // No temporary files stay behind.
    QCOMPARE(QDir(store.KeyFolder(key)).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("V")});
}

void TestPlatform::registryRootFollowsXdg()
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/xdg-test");
    QCOMPARE(RegistryStore::DefaultRoot(),
             QStringLiteral("/tmp/xdg-test/zelvor/registry/HKEY_CURRENT_USER"));
    qputenv("XDG_CONFIG_HOME", "");
    QCOMPARE(RegistryStore::DefaultRoot(),
             QDir::homePath() + QStringLiteral("/.config/zelvor/registry/HKEY_CURRENT_USER"));
    qputenv("XDG_CONFIG_HOME", saved);
}

void TestPlatform::atomicWriteKeepsOldFileOnFailure()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f"));
    QVERIFY(WriteFileAtomically(path, "old"));
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    const bool written = WriteFileAtomically(path, "new");
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (::geteuid() != 0) // root may write anyway
        QVERIFY(!written);
    QCOMPARE(testsupport::ReadBytes(path), written ? QByteArray("new") : QByteArray("old"));
    QVERIFY(!WriteFileAtomically(dir.filePath(QStringLiteral("missing/f")), "x"));
}

void TestPlatform::replacementKeepsOwnerAndMode_data()
{
    QTest::addColumn<int>("mode"); // of the file replaced; -1: none yet
    QTest::addColumn<bool>("otherOwner");
    QTest::addColumn<int>("kept");
    QTest::newRow("new file") << -1 << false << 0600;
    QTest::newRow("owner only") << 0600 << false << 0600;
    QTest::newRow("a service's group may read") << 0640 << true << 0640;
    QTest::newRow("others lose access") << 0664 << true << 0660;
}

void TestPlatform::replacementKeepsOwnerAndMode()
{
    QFETCH(int, mode);
    QFETCH(bool, otherOwner);
    QFETCH(int, kept);
    if (otherOwner && ::geteuid() != 0)
        QSKIP("giving a file another owner needs root");
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("config.ini")));
    const uid_t owner = otherOwner ? 65534 : ::geteuid();
    const gid_t group = otherOwner ? 65534 : ::getegid();
    if (mode >= 0) {
        QVERIFY(testsupport::WriteBytes(QFile::decodeName(path), "old"));
        QCOMPARE(::chown(path.constData(), owner, group), 0);
        QCOMPARE(::chmod(path.constData(), mode_t(mode)), 0);
    }
    QCOMPARE(ReplaceFileKeepingOwner(QFile::decodeName(path), "new"), QString());
    struct stat made {};
    QCOMPARE(::stat(path.constData(), &made), 0);
    QCOMPARE(int(made.st_mode & 07777), kept);
    QCOMPARE(made.st_uid, owner);
    QCOMPARE(made.st_gid, group);
    QCOMPARE(testsupport::ReadBytes(QFile::decodeName(path)), QByteArray("new"));
}

void TestPlatform::codePage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("back");
    QTest::newRow("ascii") << QStringLiteral("A1 \t'\"") << QByteArray("A1 \t'\"")
                           << QStringLiteral("A1 \t'\"");
    // Arabic letters have single bytes in Windows-1256.
    QTest::newRow("arabic") << QStringLiteral("أحمد") << QByteArray("\xC3\xCD\xE3\xCF")
                            << QStringLiteral("أحمد");
    QTest::newRow("unmappable") << QStringLiteral("a\u4E2Db\U0001F600c") << QByteArray("a?b?c")
                                << QStringLiteral("a?b?c");
    QTest::newRow("empty") << QString() << QByteArray() << QString();
}

void TestPlatform::codePage()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, back);
    QCOMPARE(ToAnsi(text), bytes);
    QCOMPARE(FromAnsi(bytes), back);
}

void TestPlatform::firstOfMonth_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDateTime>("first");
    QTest::newRow("mid month") << QDateTime(QDate(2024, 3, 17), QTime(14, 5, 9))
                               << QDateTime(QDate(2024, 3, 1), QTime(0, 0));
    QTest::newRow("just before midnight at month end")
        << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59))
        << QDateTime(QDate(2024, 2, 1), QTime(0, 0));
    QTest::newRow("first second of a month")
        << QDateTime(QDate(2025, 1, 1), QTime(0, 0)) << QDateTime(QDate(2025, 1, 1), QTime(0, 0));
}

void TestPlatform::firstOfMonth()
{
    QFETCH(QDateTime, now);
    QFETCH(QDateTime, first);
    QCOMPARE(FirstOfMonth(FixedClock(now)), first);
}

void TestPlatform::messageLinesAreSingleLines()
{
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    StreamMessageSink sink(stream);
    sink.SetContext(QStringLiteral("Gate1"));
    sink.Show(QStringLiteral("Database error: line one\nline two"));
    sink.SetContext({});
    sink.Show(QStringLiteral("اختر جهاز"));
    std::fclose(stream);
    QCOMPARE(
        QString::fromUtf8(buffer, qsizetype(size)),
        QStringLiteral("zelvor: Gate1: Database error: line one / line two\nzelvor: اختر جهاز\n"));
    std::free(buffer);
}

void TestPlatform::timerShow_data()
{
    QTest::addColumn<QString>("output"); // systemctl show --timestamp=unix
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("next"); // seconds since the epoch; 0: none
    using Kind = TimerState::Kind;
    QTest::newRow("started") << QStringLiteral("LoadState=loaded\nActiveState=active\n"
                                               "UnitFileState=enabled\n"
                                               "NextElapseUSecRealtime=@1716004800\n")
                             << int(Kind::Scheduled) << qint64(1716004800);
    QTest::newRow("installed, not started")
        << QStringLiteral("LoadState=loaded\nActiveState=inactive\nUnitFileState=disabled\n"
                          "NextElapseUSecRealtime=\n")
        << int(Kind::Inactive) << qint64(0);
    QTest::newRow("not installed")
        << QStringLiteral("LoadState=not-found\nActiveState=inactive\nUnitFileState=\n")
        << int(Kind::NotInstalled) << qint64(0);
    QTest::newRow("no answer") << QString() << int(Kind::Unknown) << qint64(0);
}

void TestPlatform::timerShow()
{
    QFETCH(QString, output);
    QFETCH(qint64, next);
    const TimerState state = ParseTimerShow(output);
    QTEST(int(state.kind), "kind");
    QCOMPARE(state.next.isValid() ? state.next.toSecsSinceEpoch() : 0, next);
    QCOMPARE(state.problem.isEmpty(), state.kind != TimerState::Kind::Unknown);
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
