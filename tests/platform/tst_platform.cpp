#include "TempDir.h"

#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/FileRegistryStore.h"
#include "platform/MessageSink.h"
#include "platform/SystemdTimer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <cstdio>
#include <functional>

#ifdef Q_OS_WIN
#include "platform/windows/WindowsRegistryStore.h"

#include <windows.h>
#endif

namespace {

// A store for one test: made on a fresh root, which the clean-up removes.
struct TestStore {
    std::function<std::unique_ptr<RegistryStore>(const QString& root)> make;
    std::function<void(const QString& root)> cleanUp;
};

} // namespace

Q_DECLARE_METATYPE(TestStore)

// The platform's stand-ins that behave alike everywhere: the registry stores
// (the file-backed one everywhere, the real registry on Windows), the 8-bit
// code page, the first of the month, the message lines.
class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void registryStores_data();
    void registryStores();
    void codePage_data();
    void codePage();
    void firstOfMonth_data();
    void firstOfMonth();
    void messageLinesAreSingleLines();
    void timerShow_data();
    void timerShow();
    void replacingAFileHeldElsewhere();
};

void TestPlatform::registryStores_data()
{
    QTest::addColumn<TestStore>("store");
    auto dir = std::make_shared<QTemporaryDir>();
    QTest::newRow("files") << TestStore{
        [dir](const QString& root) {
            return std::make_unique<FileRegistryStore>(dir->filePath(root));
        },
        [dir](const QString& root) { QDir(dir->filePath(root)).removeRecursively(); }};
#ifdef Q_OS_WIN
    QTest::newRow("windows registry") << TestStore{
        [](const QString& root) {
            return std::make_unique<WindowsRegistryStore>(
                QStringLiteral("Software\\ZelvorTests\\") + root);
        },
        [](const QString& root) {
            const QString key = QStringLiteral("Software\\ZelvorTests\\") + root;
            RegDeleteTreeW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(key.utf16()));
        }};
#endif
}

// What the progress code, the password and the last successes rely on.
void TestPlatform::registryStores()
{
    QFETCH(TestStore, store);
    const QString root = QUuid::createUuid().toString(QUuid::Id128);
    const std::unique_ptr<RegistryStore> registry = store.make(root);
    const QString key = QStringLiteral("Software\\Quorvant\\Tessar\\Settings\\");
    QVERIFY(!registry->KeyExists(key));
    // Setting a value never creates the key.
    QVERIFY(!registry->SetValue(key, QStringLiteral("DevStatus"), QStringLiteral("7")));
    QVERIFY(!registry->KeyExists(key));

    QVERIFY(registry->CreateKey(key));
    QVERIFY(registry->KeyExists(QStringLiteral("Software\\Quorvant\\Tessar\\Settings")));
    QVERIFY(registry->SetValue(key, QStringLiteral("DevStatus"), QStringLiteral("كلمة")));
    QCOMPARE(registry->QueryValue(key, QStringLiteral("DevStatus")), QStringLiteral("كلمة"));
    QVERIFY(registry->SetValue(key, QStringLiteral("V"), QString(1000, QLatin1Char('a'))));
    QVERIFY(registry->SetValue(key, QStringLiteral("V"), QStringLiteral("b")));
    QCOMPARE(registry->QueryValue(key, QStringLiteral("V")), QStringLiteral("b"));
    QVERIFY(registry->SetValue(key, QStringLiteral("Empty"), QString()));
    QCOMPARE(registry->QueryValue(key, QStringLiteral("Empty")), QString());
    QVERIFY(!registry->QueryValue(key, QStringLiteral("Missing")).has_value());
    QVERIFY(!registry->QueryValue(QStringLiteral("Software\\Nope"), QStringLiteral("DevStatus")));
    QStringList names = registry->ValueNames(key);
    names.sort();
    QCOMPARE(names, QStringList({QStringLiteral("DevStatus"), QStringLiteral("Empty"),
                                 QStringLiteral("V")}));
    QVERIFY(registry->DeleteValue(key, QStringLiteral("V")));
    QVERIFY(registry->DeleteValue(key, QStringLiteral("V")));
    QVERIFY(!registry->ValueExists(key, QStringLiteral("V")));
    QCOMPARE(registry->ValueNames(key).size(), 2);
    QVERIFY(registry->ValueNames(QStringLiteral("Software\\Nope")).isEmpty());
    store.cleanUp(root);
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
    FILE* stream = testsupport::StreamWith();
    QVERIFY(stream);
    StreamMessageSink sink(stream);
    sink.SetContext(QStringLiteral("Gate1"));
    sink.Show(QStringLiteral("Database error: line one\nline two"));
    sink.SetContext({});
    sink.Show(QStringLiteral("اختر جهاز"));
    const QByteArray written = testsupport::WrittenTo(stream);
    std::fclose(stream);
    QCOMPARE(
        QString::fromUtf8(written),
        QStringLiteral("zelvor: Gate1: Database error: line one / line two\nzelvor: اختر جهاز\n"));
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

void TestPlatform::replacingAFileHeldElsewhere()
{
#ifndef Q_OS_WIN
    QSKIP("a rename replaces a file whoever holds it open on POSIX");
#else
    // Another program holds the file without sharing it (a spreadsheet, a
    // scanner): the replacement waits a while, then gives up with the reason
    // and leaves the file as it was, with nothing beside it. A read-only
    // file replaced stays read-only.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    QVERIFY(testsupport::WriteBytes(path, "old"));
    const HANDLE held = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ, 0,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    QVERIFY(held != INVALID_HANDLE_VALUE);
    QElapsedTimer timer;
    timer.start();
    const QString problem = ReplaceFileKeepingOwner(path, "new");
    CloseHandle(held);
    QVERIFY2(problem.contains(QStringLiteral("left as it was")), qPrintable(problem));
    QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(testsupport::ReadBytes(path), QByteArray("old"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("config.ini")});

    const auto name = reinterpret_cast<const wchar_t*>(path.utf16());
    QVERIFY(SetFileAttributesW(name, FILE_ATTRIBUTE_READONLY));
    QCOMPARE(ReplaceFileKeepingOwner(path, "new"), QString());
    QCOMPARE(testsupport::ReadBytes(path), QByteArray("new"));
    QVERIFY(GetFileAttributesW(name) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(name, FILE_ATTRIBUTE_NORMAL);
#endif
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
