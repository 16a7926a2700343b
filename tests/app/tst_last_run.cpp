// What the all-devices run keeps per device for zelvor-settings status, and
// when it moves a device's last success.
#include "app/DeviceRun.h"
#include "app/LastRun.h"
#include "app/LastSuccess.h"
#include "app/RunRecordStore.h"
#include "platform/FileRegistryStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestLastRun : public QObject {
    Q_OBJECT
private slots:
    void aBadRecordIsNoRecordAndWrittenAnew_data();
    void aBadRecordIsNoRecordAndWrittenAnew();
    void lastSuccessMovesOnlyForward_data();
    void lastSuccessMovesOnlyForward();
    void everyAccountsRecordsAreTakenOverOnce();
};

void TestLastRun::aBadRecordIsNoRecordAndWrittenAnew_data()
{
    QTest::addColumn<QByteArray>("stored"); // null: no file
    QTest::addColumn<int>("state");
    using State = LastRunRead::State;
    QTest::newRow("never ran") << QByteArray() << int(State::Missing);
    QTest::newRow("cut short") << QByteArray("{\"version\": 1, \"name\": \"G\", \"outc")
                               << int(State::Unreadable);
    QTest::newRow("an older version")
        << QByteArray("{\"started_at\": \"2024-05-17T14:00:00\"}") << int(State::Unreadable);
    QTest::newRow("a count that is text")
        << QByteArray("{\"version\": 1, \"name\": \"G\", \"outcome\": \"succeeded\", "
                      "\"started_at\": \"2024-05-17T14:00:00.000+02:00\", \"seconds\": 1, "
                      "\"in_range\": \"4\", \"posted\": 4, \"already_present\": 0, \"refused\": 0}")
        << int(State::Unreadable);
}

void TestLastRun::aBadRecordIsNoRecordAndWrittenAnew()
{
    QFETCH(QByteArray, stored);
    const QString id = QStringLiteral("Gate/../1");
    QTemporaryDir dir;
    FileRegistryStore registry(dir.path());
    if (!stored.isNull()) {
        QVERIFY(registry.CreateKey(lastrun::kKey));
        QFile file(registry.KeyFolder(lastrun::kKey) + QLatin1Char('/') + DeviceValueName(id));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(stored) == stored.size());
    }
    QTEST(int(ReadLastRun(registry, id).state), "state");

    DeviceOutcome outcome;
    outcome.name = QStringLiteral("Gate 1");
    outcome.deviceId = id;
    outcome.startedAt = QDateTime(QDate(2024, 5, 17), QTime(14, 0, 3, 250));
    outcome.downloaded = outcome.postingDone = outcome.clock.read = true;
    outcome.inRange = 40;
    outcome.posting = {12, 27, 1, 0};
    outcome.failure = QStringLiteral("1 punches refused");
    outcome.clock.offsetSeconds = -200;
    const QDateTime firstOfMonth(QDate(2024, 5, 1), QTime(0, 0));
    QVERIFY(RecordDeviceRun(registry, outcome, firstOfMonth, {}).isEmpty());
    LastRunRead read = ReadLastRun(registry, id);
    QCOMPARE(int(read.state), int(LastRunRead::State::Found));
    QCOMPARE(read.record, RecordOf(outcome, std::nullopt));
    QCOMPARE(read.record.startedAt, outcome.startedAt);
    QVERIFY(!ReadLastSuccess(registry, id)); // a refused punch fails the device

    // A run that cannot read the clock keeps the last reading, with its time.
    const QDateTime readAt = outcome.startedAt;
    outcome.startedAt = outcome.startedAt.addSecs(1800);
    outcome.clock.read = false;
    outcome.failure.clear();
    QVERIFY(RecordDeviceRun(registry, outcome, firstOfMonth, {}).isEmpty());
    read = ReadLastRun(registry, id);
    QCOMPARE(read.record.clockOffsetSeconds, std::optional<qint64>(-200));
    QCOMPARE(read.record.clockReadAt, readAt);
    QCOMPARE(ReadLastSuccess(registry, id)->secsTo(outcome.startedAt), 0);
}

void TestLastRun::lastSuccessMovesOnlyForward_data()
{
    QTest::addColumn<QDateTime>("lastSuccess"); // invalid: none
    QTest::addColumn<QDate>("since");           // invalid: none
    QTest::addColumn<bool>("moves");
    const QDateTime may3(QDate(2024, 5, 3), QTime(22, 0));
    const QDateTime april29(QDate(2024, 4, 29), QTime(22, 0));
    QTest::newRow("a run without --since") << may3 << QDate() << true;
    QTest::newRow("--since before the first of the month") << may3 << QDate(2024, 4, 20) << true;
    QTest::newRow("--since the day the next run starts") << april29 << QDate(2024, 4, 29) << true;
    // The days from the last success to --since were not fetched.
    QTest::newRow("--since after the last success") << april29 << QDate(2024, 5, 10) << false;
    QTest::newRow("--since without a success, after the first")
        << QDateTime() << QDate(2024, 5, 2) << false;
    QTest::newRow("a success recorded later than this run began")
        << QDateTime(QDate(2024, 5, 17), QTime(14, 30)) << QDate() << false;
}

void TestLastRun::lastSuccessMovesOnlyForward()
{
    QFETCH(QDateTime, lastSuccess);
    QFETCH(QDate, since);
    const QDateTime firstOfMonth(QDate(2024, 5, 1), QTime(0, 0));
    const QDateTime startedAt(QDate(2024, 5, 17), QTime(14, 0));
    QTEST(MovesLastSuccess(firstOfMonth,
                           lastSuccess.isValid() ? std::optional(lastSuccess) : std::nullopt, since,
                           startedAt),
          "moves");
}

// Two clerks' registries from an earlier version, one installation: each
// account's records move into the installation's store at its first opening,
// a last success only forward, and leave the account's store.
void TestLastRun::everyAccountsRecordsAreTakenOverOnce()
{
    QTemporaryDir dir;
    FileRegistryStore clerkA(dir.filePath(QStringLiteral("a")));
    FileRegistryStore clerkB(dir.filePath(QStringLiteral("b")));
    const QString folder = dir.filePath(QStringLiteral("run-state"));
    const auto at = [](int month, int day) { return QDateTime(QDate(2026, month, day), {22, 0}); };
    const QString one = QStringLiteral("1"), two = QStringLiteral("2");
    const QString runRecord = QStringLiteral("{\"version\":1}");
    QVERIFY(StoreLastSuccess(clerkA, one, at(10, 31)));
    QVERIFY(clerkA.CreateKey(lastrun::kKey));
    QVERIFY(clerkA.SetValue(lastrun::kKey, DeviceValueName(one), runRecord));
    QVERIFY(StoreLastSuccess(clerkB, one, at(10, 15)));
    QVERIFY(StoreLastSuccess(clerkB, two, at(10, 20)));
    QVERIFY(clerkB.CreateKey(lastrun::kKey));
    QVERIFY(clerkB.SetValue(lastrun::kKey, DeviceValueName(one), QStringLiteral("older")));
    {
        FileRegistryStore installation(folder);
        QVERIFY(StoreLastSuccess(installation, two, at(11, 1)));
    }

    for (FileRegistryStore* clerk : {&clerkA, &clerkB, &clerkA}) {
        RunRecordStore records(*clerk, folder);
        QCOMPARE(records.Warnings(), QStringList());
        QCOMPARE(ReadLastSuccess(records.Store(), one), at(10, 31));
        QCOMPARE(ReadLastSuccess(records.Store(), two), at(11, 1));
        QCOMPARE(records.Store().QueryValue(lastrun::kKey, DeviceValueName(one)), runRecord);
        QCOMPARE(clerk->ValueNames(lastsuccess::kKey), QStringList());
        QCOMPARE(clerk->ValueNames(lastrun::kKey), QStringList());
    }

    // A store that cannot be written keeps the account's record where it was.
    QVERIFY(StoreLastSuccess(clerkA, one, at(12, 1)));
    QFile blocker(dir.filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RunRecordStore refused(clerkA, blocker.fileName());
    QCOMPARE(refused.Warnings().size(), 1);
    QVERIFY(refused.Warnings().first().contains(DeviceValueName(one)));
    QCOMPARE(ReadLastSuccess(clerkA, one), at(12, 1));
    // Without an installation's folder the account's store is the store.
    RunRecordStore own(clerkA, {});
    QCOMPARE(&own.Store(), static_cast<RegistryStore*>(&clerkA));
}

QTEST_GUILESS_MAIN(TestLastRun)
#include "tst_last_run.moc"
