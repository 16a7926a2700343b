#include "TempDir.h"

#include "platform/AtomicFile.h"
#include "platform/FileRegistryStore.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

// The POSIX side of the platform's files: the registry's stand-in as folders
// and files with owner-only modes, and replacements that keep a file's owner.
class TestPosixFiles : public QObject {
    Q_OBJECT
private slots:
    void registryKeysAreFolders();
    void registryRootFollowsXdg();
    void atomicWriteKeepsOldFileOnFailure();
    void replacementKeepsOwnerAndMode_data();
    void replacementKeepsOwnerAndMode();
};

void TestPosixFiles::registryKeysAreFolders()
{
    QTemporaryDir dir;
    FileRegistryStore store(dir.filePath(QStringLiteral("HKCU")));
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
    // A value is replaced whole; no temporary files stay behind.
    QVERIFY(store.SetValue(key, QStringLiteral("DevStatus"), QStringLiteral("7")));
    QCOMPARE(QDir(store.KeyFolder(key)).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("DevStatus")});
}

void TestPosixFiles::registryRootFollowsXdg()
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/xdg-test");
    QCOMPARE(FileRegistryStore::DefaultRoot(),
             QStringLiteral("/tmp/xdg-test/zelvor/registry/HKEY_CURRENT_USER"));
    qputenv("XDG_CONFIG_HOME", "");
    QCOMPARE(FileRegistryStore::DefaultRoot(),
             QDir::homePath() + QStringLiteral("/.config/zelvor/registry/HKEY_CURRENT_USER"));
    qputenv("XDG_CONFIG_HOME", saved);
}

void TestPosixFiles::atomicWriteKeepsOldFileOnFailure()
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

void TestPosixFiles::replacementKeepsOwnerAndMode_data()
{
    QTest::addColumn<int>("mode"); // of the file replaced; -1: none yet
    QTest::addColumn<bool>("otherOwner");
    QTest::addColumn<int>("kept");
    QTest::newRow("new file") << -1 << false << 0600;
    QTest::newRow("owner only") << 0600 << false << 0600;
    QTest::newRow("a service's group may read") << 0640 << true << 0640;
    QTest::newRow("others lose access") << 0664 << true << 0660;
}

void TestPosixFiles::replacementKeepsOwnerAndMode()
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

QTEST_GUILESS_MAIN(TestPosixFiles)
#include "tst_posix_files.moc"
