#include "TestDatabase.h"
#include "store/ConnectionString.h"
#include "store/MovementPosting.h"

#include <QRegularExpression>
#include <QtTest>

#include <functional>

using testsupport::MovementRow;
using testsupport::TestDatabase;

Q_DECLARE_METATYPE(MoveRec)

namespace {

const QString kZeroGuid = QStringLiteral("00000000-0000-0000-0000-000000000000");

// A punch as the download queues it: the date text with its trailing blank.
MoveRec Punch(const QString& cardNb, const char* date, const char* code2 = "0")
{
    return MoveRec{cardNb, QString::fromLatin1(date) + QLatin1Char(' '),
                   QString::fromLatin1(code2)};
}

MoveRec Punch(const char* cardNb, const char* date)
{
    return Punch(QString::fromUtf8(cardNb), date);
}

QList<double> Numbers(const QList<MovementRow>& rows)
{
    QList<double> numbers;
    for (const MovementRow& row : rows)
        numbers << row.Number;
    return numbers;
}

// A clock that runs a callback on every reading, to act in the middle of a posting.
class CallbackClock : public Clock {
public:
    explicit CallbackClock(std::function<void(int)> onRead) : onRead_(std::move(onRead)) {}
    QDateTime now() const override
    {
        onRead_(++reads_);
        return QDateTime(QDate(2024, 3, 9), QTime(12, 0));
    }

private:
    std::function<void(int)> onRead_;
    mutable int reads_ = 0;
};

} // namespace

// Posting punches into the movement table of a real server through ODBC.
class TestMovementPosting : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void numbersAndDuplicates_data();
    void numbersAndDuplicates();
    void rowContent();
    void cardNumbersStoredAsText_data();
    void cardNumbersStoredAsText();
    void refusedPunchDoesNotStopPosting_data();
    void refusedPunchDoesNotStopPosting();
    void serverStoppedMidPosting();
    void postsToRecordDatabaseWhenOpenElsewhere();
    void wrongPasswordPostsNothing();
    void maximumOfAnyNumericType_data();
    void maximumOfAnyNumericType();
    void guidText();

private:
    PostingSummary Post(const MoveRecList& movements);

    TestDatabase testDb_;
    RecordingMessageSink messages_;
    FixedClock clock_{QDateTime(QDate(2024, 3, 9), QTime(23, 59, 59))};
    Database db_;
};

void TestMovementPosting::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestMovementPosting::init()
{
    messages_.messages.clear();
    QVERIFY2(testDb_.Reset() && testDb_.Reset(testDb_.Name2()), qPrintable(testDb_.LastError()));
}

void TestMovementPosting::cleanup()
{
    db_.Close();
    if (!testDb_.Execute(QStringLiteral("ALTER TABLE tsrHrMovement ALTER COLUMN Number TYPE double "
                                        "precision"),
                         {}, testDb_.Name2()))
        qWarning("cannot restore the Number column: %s", qPrintable(testDb_.LastError()));
}

PostingSummary TestMovementPosting::Post(const MoveRecList& movements)
{
    return PostMovements(testDb_.Record(), movements, db_, messages_, clock_);
}

void TestMovementPosting::numbersAndDuplicates_data()
{
    // Existing row i holds card "E<i>" at 2024-01-01 08:00:00 with the given Number.
    QTest::addColumn<QList<double>>("existing");
    QTest::addColumn<MoveRecList>("movements");
    QTest::addColumn<QList<double>>("expectedNumbers"); // of all rows afterwards
    QTest::addColumn<int>("inserted");
    QTest::addColumn<int>("skipped");

    const MoveRec a = Punch("101", "2024-03-07 08:00:00");
    const MoveRec b = Punch("102", "2024-03-07 08:01:00");
    const MoveRec c = Punch("103", "2024-03-07 08:02:00");
    const MoveRec existing1 = Punch("E1", "2024-01-01 08:00:00");

    QTest::newRow("empty table: first row is 2")
        << QList<double>{} << MoveRecList{a} << QList<double>{2} << 1 << 0;
    QTest::newRow("highest 41") << QList<double>{7, 41, 12} << MoveRecList{a, b, c}
                                << QList<double>{7, 12, 41, 43, 44, 45} << 3 << 0;
    QTest::newRow("duplicate in the middle") << QList<double>{7, 41} << MoveRecList{a, existing1, c}
                                             << QList<double>{7, 41, 43, 45} << 2 << 1;
    QTest::newRow("two identical punches")
        << QList<double>{} << MoveRecList{a, a} << QList<double>{2} << 1 << 1;
    QTest::newRow("same card, other time")
        << QList<double>{} << MoveRecList{a, Punch("101", "2024-03-07 08:01:00")}
        << QList<double>{2, 3} << 2 << 0;
    QTest::newRow("same time, other card")
        << QList<double>{} << MoveRecList{a, Punch("1010", "2024-03-07 08:00:00")}
        << QList<double>{2, 3} << 2 << 0;
    QTest::newRow("empty movement list")
        << QList<double>{41} << MoveRecList{} << QList<double>{41} << 0 << 0;
    QTest::newRow("fractional highest")
        << QList<double>{41.5} << MoveRecList{a} << QList<double>{41.5, 43.5} << 1 << 0;
}

void TestMovementPosting::numbersAndDuplicates()
{
    QFETCH(QList<double>, existing);
    QFETCH(MoveRecList, movements);
    QFETCH(QList<double>, expectedNumbers);
    QFETCH(int, inserted);
    QFETCH(int, skipped);

    for (qsizetype i = 0; i < existing.size(); ++i)
        QVERIFY2(testDb_.InsertMovementRow(existing[i], QStringLiteral("E%1").arg(i),
                                           QStringLiteral("2024-01-01 08:00:00")),
                 qPrintable(testDb_.LastError()));

    QCOMPARE(Post(movements), (PostingSummary{inserted, skipped, 0}));
    QCOMPARE(Numbers(testDb_.Movements()), expectedNumbers);
    QCOMPARE(messages_.messages, QStringList());
    QVERIFY2(!db_.IsOpen(), "the posting closes the connection");
}

void TestMovementPosting::rowContent()
{
    QVERIFY(
        testDb_.InsertMovementRow(41, QStringLiteral("E"), QStringLiteral("2024-01-01 08:00:00")));
    QCOMPARE(Post({Punch(QStringLiteral("77"), "2024-03-07 08:05:09", "1")}),
             (PostingSummary{1, 0, 0}));

    const QList<MovementRow> rows = testDb_.Movements();
    QCOMPARE(rows.size(), 2);
    const MovementRow& row = rows.last();
    QVERIFY(!QUuid::fromString(row.ID).isNull());
    QCOMPARE(row.ParentID, kZeroGuid);
    QCOMPARE(row.Number, 43.0);
    QCOMPARE(row.CardNb, QStringLiteral("77"));
    QCOMPARE(row.Date, QStringLiteral("2024-03-07 08:05:09"));
    QCOMPARE(row.Direction, -1);
    QCOMPARE((QList<int>{row.Status, row.IsManual, row.IsDelete, row.IsPosted}),
             (QList<int>{0, 0, 0, 0}));
    QCOMPARE(row.UserID, kZeroGuid);
    QCOMPARE(row.CDate, QStringLiteral("2024-03-09"));
}

void TestMovementPosting::cardNumbersStoredAsText_data()
{
    QTest::addColumn<QString>("cardNb");
    QTest::newRow("single quote") << QStringLiteral("O'Brien");
    QTest::newRow("statement") << QStringLiteral("1'); DELETE FROM tsrHrMovement; --");
    QTest::newRow("semicolon and double quote") << QStringLiteral("a;\"b\"");
    QTest::newRow("arabic") << QStringLiteral("بطاقة ٣");
}

void TestMovementPosting::cardNumbersStoredAsText()
{
    QFETCH(QString, cardNb);
    const MoveRecList movements = {Punch(QStringLiteral("1"), "2024-03-07 08:00:00"),
                                   Punch(cardNb, "2024-03-07 08:00:00")};
    QCOMPARE(Post(movements), (PostingSummary{2, 0, 0}));
    // The second posting finds both by their card numbers.
    QCOMPARE(Post(movements), (PostingSummary{0, 2, 0}));

    const QList<MovementRow> rows = testDb_.Movements();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.last().CardNb, cardNb);
    QCOMPARE(messages_.messages, QStringList());
}

void TestMovementPosting::refusedPunchDoesNotStopPosting_data()
{
    QTest::addColumn<MoveRec>("broken");
    QTest::addColumn<int>("messageCount");

    // Longer than the column: the check passes, the insert is refused.
    QTest::newRow("card number too long")
        << Punch(QString(60, QLatin1Char('9')), "2024-03-07 08:00:00") << 1;
    // Not a date: both the check and the insert are refused.
    QTest::newRow("impossible date") << Punch("5", "2024-02-30 08:00:00") << 2;
}

void TestMovementPosting::refusedPunchDoesNotStopPosting()
{
    QFETCH(MoveRec, broken);
    QFETCH(int, messageCount);

    const MoveRecList movements = {Punch("1", "2024-03-07 08:00:00"), broken,
                                   Punch("2", "2024-03-07 08:00:00")};
    QCOMPARE(Post(movements), (PostingSummary{2, 0, 1}));
    QCOMPARE(Numbers(testDb_.Movements()), (QList<double>{2, 4}));
    QCOMPARE(messages_.messages.size(), messageCount);
    for (const QString& message : messages_.messages)
        QVERIFY2(message.startsWith(QStringLiteral("Database error: ")) &&
                     message.size() > QStringLiteral("Database error: ").size(),
                 qPrintable(message));
}

void TestMovementPosting::serverStoppedMidPosting()
{
    const MoveRecList movements = {Punch("1", "2024-03-07 08:00:00"),
                                   Punch("2", "2024-03-07 08:00:00"),
                                   Punch("3", "2024-03-07 08:00:00")};
    bool stopped = false;
    // The clock is read once per insert, just before it: stop before the second.
    CallbackClock stoppingClock([&](int read) {
        if (read == 2)
            stopped = testDb_.StopServer();
    });
    const PostingSummary first =
        PostMovements(testDb_.Record(), movements, db_, messages_, stoppingClock);
    QVERIFY2(stopped, qPrintable(testDb_.LastError()));
    QCOMPARE(first, (PostingSummary{1, 0, 2}));
    QVERIFY(!db_.IsOpen());
    // Each remaining punch was still tried: its check and its insert failed.
    QCOMPARE(messages_.messages.size(), 3);

    QVERIFY2(testDb_.StartServer(), qPrintable(testDb_.LastError()));
    QCOMPARE(testDb_.Movements().size(), 1);
    QCOMPARE(Post(movements), (PostingSummary{2, 1, 0}));
    QCOMPARE(Post(movements), (PostingSummary{0, 3, 0}));

    QStringList cards;
    for (const MovementRow& row : testDb_.Movements())
        cards << row.CardNb;
    cards.sort();
    QCOMPARE(cards, (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
}

void TestMovementPosting::postsToRecordDatabaseWhenOpenElsewhere()
{
    QVERIFY(EnsureOpen(db_, testDb_.Record(testDb_.Name2()).ConnStr));
    QCOMPARE(Post({Punch("1", "2024-03-07 08:00:00")}), (PostingSummary{1, 0, 0}));
    QCOMPARE(testDb_.Movements().size(), 1);
    QCOMPARE(testDb_.Movements(testDb_.Name2()).size(), 0);
}

void TestMovementPosting::wrongPasswordPostsNothing()
{
    CConnServer record = testDb_.Record();
    record.Pass += QStringLiteral("x");
    record.ConnStr = BuildConnStr(record);
    QVERIFY_THROWS_EXCEPTION(
        DatabaseError,
        PostMovements(record, {Punch("1", "2024-03-07 08:00:00")}, db_, messages_, clock_));
    QCOMPARE(testDb_.Movements().size(), 0);
}

void TestMovementPosting::maximumOfAnyNumericType_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<double>("expected");

    QTest::newRow("double, empty table") << QStringLiteral("double precision") << true << 1.0;
    QTest::newRow("integer") << QStringLiteral("integer") << false << 42.0;
    QTest::newRow("bigint") << QStringLiteral("bigint") << false << 42.0;
    QTest::newRow("numeric") << QStringLiteral("numeric(18,4)") << false << 42.0;
    QTest::newRow("real") << QStringLiteral("real") << false << 42.0;
    QTest::newRow("smallint") << QStringLiteral("smallint") << false << 42.0;
}

void TestMovementPosting::maximumOfAnyNumericType()
{
    QFETCH(QString, type);
    QFETCH(bool, empty);
    QFETCH(double, expected);

    const QString name2 = testDb_.Name2();
    QVERIFY2(testDb_.Execute(QStringLiteral("ALTER TABLE tsrHrMovement ALTER COLUMN Number TYPE ") +
                                 type,
                             {}, name2),
             qPrintable(testDb_.LastError()));
    if (!empty) {
        QVERIFY(testDb_.InsertMovementRow(40, QStringLiteral("a"), QStringLiteral("2024-01-01"),
                                          name2));
        QVERIFY(testDb_.InsertMovementRow(41, QStringLiteral("b"), QStringLiteral("2024-01-01"),
                                          name2));
    }
    QVERIFY(EnsureOpen(db_, testDb_.Record(name2).ConnStr));
    QCOMPARE(NextMovementNumber(db_, messages_), expected);
    QCOMPARE(messages_.messages, QStringList());
}

void TestMovementPosting::guidText()
{
    static const QRegularExpression form(
        QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
    const QString first = NewGuidText();
    QVERIFY2(form.match(first).hasMatch(), qPrintable(first));
    QVERIFY(NewGuidText() != first);
}

QTEST_GUILESS_MAIN(TestMovementPosting)
#include "tst_movement_posting.moc"
