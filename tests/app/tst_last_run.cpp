// What the all-devices run keeps per device for zelvor-settings status, and
// when it moves a device's last success.
#include "app/DeviceRun.h"
#include "app/LastRun.h"
#include "app/LastSuccess.h"
#include "platform/RegistryStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kId = QStringLiteral("Gate/../1");

DeviceOutcome Outcome(const QDateTime& at, bool clockRead)
{
    DeviceOutcome outcome;
    outcome.name = QStringLiteral("Gate 1");
    outcome.deviceId = kId;
    outcome.startedAt = at;
    outcome.seconds = 2.5;
    outcome.downloaded = outcome.posted = true;
    outcome.inRange = 40;
    outcome.posting.inserted = 12;
    outcome.posting.skipped = 27;
    outcome.posting.failed = 1;
    outcome.failure = QStringLiteral("1 punches refused");
    outcome.clock.read = clockRead;
    outcome.clock.offsetSeconds = -200;
    return outcome;
}

} // namespace

class TestLastRun : public QObject {
    Q_OBJECT
private slots:
    void aBadRecordIsNoRecordAndWrittenAnew_data();
    void aBadRecordIsNoRecordAndWrittenAnew();
    void theClockReadingIsKeptUntilReadAgain();
    void lastSuccessMovesOnlyForward_data();
    void lastSuccessMovesOnlyForward();
};

void TestLastRun::aBadRecordIsNoRecordAndWrittenAnew_data()
{
    QTest::addColumn<QByteArray>("stored"); // null: no file
    QTest::addColumn<int>("state");
    using State = LastRunRead::State;
    QTest::newRow("never ran") << QByteArray() << int(State::Missing);
    QTest::newRow("empty") << QByteArray("") << int(State::Unreadable);
    QTest::newRow("cut short") << QByteArray("{\"version\": 1, \"name\": \"Gate 1\", \"outc")
                               << int(State::Unreadable);
    QTest::newRow("an older version")
        << QByteArray("{\"started_at\": \"2024-05-17T14:00:00\", \"ok\": true}")
        << int(State::Unreadable);
    QTest::newRow("a count that is text")
        << QByteArray("{\"version\": 1, \"name\": \"G\", \"outcome\": \"succeeded\", "
                      "\"started_at\": \"2024-05-17T14:00:00.000+02:00\", \"seconds\": 1, "
                      "\"in_range\": \"4\", \"posted\": 4, \"already_present\": 0, \"refused\": 0}")
        << int(State::Unreadable);
}

void TestLastRun::aBadRecordIsNoRecordAndWrittenAnew()
{
    QFETCH(QByteArray, stored);
    QTemporaryDir dir;
    RegistryStore registry(dir.path());
    if (!stored.isNull()) {
        QVERIFY(registry.CreateKey(lastrun::kKey));
        QFile file(registry.KeyFolder(lastrun::kKey) + QLatin1Char('/') + DeviceValueName(kId));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(stored);
    }
    QTEST(int(ReadLastRun(registry, kId).state), "state");

    const QDateTime at(QDate(2024, 5, 17), QTime(14, 0, 3, 250));
    const DeviceOutcome outcome = Outcome(at, true);
    QVERIFY(RecordDeviceRun(registry, outcome, QDateTime(QDate(2024, 5, 1), QTime(0, 0)), {})
                .isEmpty());
    const LastRunRead read = ReadLastRun(registry, kId);
    QCOMPARE(int(read.state), int(LastRunRead::State::Found));
    QCOMPARE(read.record, RecordOf(outcome, std::nullopt));
    QCOMPARE(read.record.startedAt, at);
    // A run with a refused punch failed: it is no success.
    QVERIFY(!ReadLastSuccess(registry, kId));
}

void TestLastRun::theClockReadingIsKeptUntilReadAgain()
{
    const QDateTime first(QDate(2024, 5, 17), QTime(14, 0));
    const LastRunRecord read = RecordOf(Outcome(first, true), std::nullopt);
    const LastRunRecord unread = RecordOf(Outcome(first.addSecs(1800), false), read);
    QCOMPARE(unread.clockOffsetSeconds, std::optional<qint64>(-200));
    QCOMPARE(unread.clockReadAt, first);
    QVERIFY(!RecordOf(Outcome(first, false), std::nullopt).clockOffsetSeconds);
}

void TestLastRun::lastSuccessMovesOnlyForward_data()
{
    QTest::addColumn<QDateTime>("lastSuccess"); // invalid: none
    QTest::addColumn<QDate>("since");           // invalid: none
    QTest::addColumn<bool>("moves");
    const QDateTime may3(QDate(2024, 5, 3), QTime(22, 0));
    const QDateTime april29(QDate(2024, 4, 29), QTime(22, 0));
    QTest::newRow("a run without --since") << may3 << QDate() << true;
    QTest::newRow("the first success") << QDateTime() << QDate() << true;
    QTest::newRow("--since before the first of the month") << may3 << QDate(2024, 4, 20) << true;
    QTest::newRow("--since the day the next run starts") << april29 << QDate(2024, 4, 29) << true;
    // The days from the last success to --since were not fetched.
    QTest::newRow("--since after the last success") << april29 << QDate(2024, 5, 10) << false;
    QTest::newRow("--since without a success, later than the first")
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
    const std::optional<QDateTime> last =
        lastSuccess.isValid() ? std::optional(lastSuccess) : std::nullopt;
    QTEST(MovesLastSuccess(firstOfMonth, last, since, startedAt), "moves");
}

QTEST_GUILESS_MAIN(TestLastRun)
#include "tst_last_run.moc"
