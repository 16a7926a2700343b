#include "PerRowPosting.h"
#include "TdsDump.h"
#include "TestDatabase.h"
#include "store/ConnectionString.h"
#include "store/MovementPosting.h"
#include "store/PostingSteps.h"
#include "store/Transaction.h"

#include <QRegularExpression>
#include <QtTest>

#include <atomic>
#include <functional>
#include <thread>

using testsupport::ContentWithoutIds;
using testsupport::MovementRow;
using testsupport::TestDatabase;

using PostingMethod = PostingSummary (*)(CConnServer, const MovementList&, Database&, MessageSink&,
                                         const Clock&, const PostingProgress&);

Q_DECLARE_METATYPE(MoveRec)
Q_DECLARE_METATYPE(PostingMethod)

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

// count distinct punches: 97 cards, a minute and a second apart.
MoveRecList ManyPunches(int count)
{
    MoveRecList movements;
    const QDateTime start(QDate(2024, 3, 1), QTime(6, 0));
    for (int i = 0; i < count; ++i)
        movements.append({QStringLiteral("C%1").arg(i % 97),
                          start.addSecs(61 * i).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")),
                          QStringLiteral("0")});
    return movements;
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
    void attemptsAreBounded();
    void serverStoppedMidPosting_data();
    void serverStoppedMidPosting();
    void failedReadPostsNothing_data();
    void failedReadPostsNothing();
    void lockWaitIsBounded();
    void secondPostingWaitsForTheFirst();
    void progressAfterEachBatch();
    void postsToRecordDatabaseWhenOpenElsewhere();
    void wrongPasswordPostsNothing();
    void maximumOfAnyNumericType_data();
    void maximumOfAnyNumericType();
    void guidText();
    void stagingWhileTheDownloadRuns();
    void batchTableIsMadeByAPlainBatch();

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
    db_.SetLockWait(Database::kDefaultLockWaitSeconds);
    QVERIFY2(testDb_.Reset() && testDb_.Reset(testDb_.Name2()), qPrintable(testDb_.LastError()));
}

void TestMovementPosting::cleanup()
{
    db_.Close();
    if (!testDb_.Admin(QStringLiteral("ALTER TABLE tsrHrMovement ALTER COLUMN Number TYPE double "
                                      "precision"),
                       nullptr, testDb_.Name2()))
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
    QTest::newRow("arabic") << QStringLiteral("بطاقة ثلاثة");
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

// A server that ends the transaction on every refused punch costs an attempt
// for each; past the bound the posting gives up with the last refusal.
void TestMovementPosting::attemptsAreBounded()
{
    if (testDb_.Kind() != ServerKind::PostgreSQL)
        QSKIP("psqlODBC's Protocol=7.4-1 ends the transaction on every refusal");
    CConnServer record = testDb_.Record();
    record.ConnStr += QStringLiteral(";Protocol=7.4-1");
    MoveRecList movements;
    for (int i = 0; i < 70; ++i)
        movements.append(
            Punch(QString(60, QLatin1Char('9')) + QString::number(i), "2024-03-07 08:00:00"));
    try {
        PostMovements(record, movements, db_, messages_, clock_);
        QFAIL("the posting went on without bound");
    } catch (const DatabaseError& error) {
        QVERIFY2(error.Text().startsWith(QStringLiteral("The posting was given up after 64 "
                                                        "attempts")) &&
                     error.Text().contains(QStringLiteral("too long")),
                 qPrintable(error.Text()));
    }
    QVERIFY(!db_.IsOpen());
    QCOMPARE(testDb_.Movements().size(), 0);
    QCOMPARE(messages_.messages, QStringList());
}

void TestMovementPosting::serverStoppedMidPosting_data()
{
    QTest::addColumn<PostingMethod>("post");
    QTest::newRow("in batches") << PostingMethod(PostMovements);
    QTest::newRow("row by row") << PostingMethod(PostMovementsPerRow);
}

void TestMovementPosting::serverStoppedMidPosting()
{
    QFETCH(PostingMethod, post);
    const QString name2 = testDb_.Name2();
    for (const QString& name : {QString(), name2})
        QVERIFY(testDb_.InsertMovementRow(41, QStringLiteral("E"),
                                          QStringLiteral("2024-01-01 08:00:00"), name));
    const MoveRecList movements = ManyPunches(2 * kPostingBatchRows + 100);

    // The server stops once the first batch has gone.
    bool stopped = false;
    const PostingProgress stopAfterFirstBatch = [&](qint64 done, qint64) {
        if (!stopped && done >= kPostingBatchRows)
            stopped = testDb_.StopServer();
    };
    QVERIFY_THROWS_EXCEPTION(DatabaseError, post(testDb_.Record(), movements, db_, messages_,
                                                 clock_, stopAfterFirstBatch));
    QVERIFY2(stopped, qPrintable(testDb_.LastError()));
    QVERIFY(!db_.IsOpen());
    QVERIFY2(testDb_.StartServer(), qPrintable(testDb_.LastError()));
    // The table is as before the posting; the next run posts everything.
    QCOMPARE(testDb_.Movements().size(), 1);
    QCOMPARE(post(testDb_.Record(), movements, db_, messages_, clock_, {}),
             (PostingSummary{int(movements.size()), 0, 0}));

    // The same as one posting that nothing interrupted.
    QCOMPARE(post(testDb_.Record(name2), movements, db_, messages_, clock_, {}),
             (PostingSummary{int(movements.size()), 0, 0}));
    QCOMPARE(ContentWithoutIds(testDb_.Movements()), ContentWithoutIds(testDb_.Movements(name2)));
    QCOMPARE(messages_.messages, QStringList());
}

void TestMovementPosting::failedReadPostsNothing_data()
{
    QTest::addColumn<PostingMethod>("post");
    QTest::addColumn<QString>("breaking"); // a change of the table, undone afterwards
    QTest::addColumn<QString>("mending");
    QTest::addColumn<MoveRec>("punch");
    QTest::addColumn<QString>("driverText");

    const MoveRec good = Punch("7", "2024-03-07 08:00:00");
    const QString rename = QStringLiteral("ALTER TABLE tsrHrMovement RENAME %1 TO %2");
    for (const auto& [name, post] : {std::pair{"in batches", PostingMethod(PostMovements)},
                                     std::pair{"row by row", PostingMethod(PostMovementsPerRow)}}) {
        QTest::addRow("%s: no highest Number", name)
            << post << rename.arg(QStringLiteral("Number"), QStringLiteral("Num"))
            << rename.arg(QStringLiteral("Num"), QStringLiteral("Number")) << good
            << QStringLiteral("number");
        QTest::addRow("%s: no CardNb to check", name)
            << post << rename.arg(QStringLiteral("CardNb"), QStringLiteral("Card"))
            << rename.arg(QStringLiteral("Card"), QStringLiteral("CardNb")) << good
            << QStringLiteral("cardnb");
        // The server cannot read the date, so its duplicate check fails.
        QTest::addRow("%s: check of an impossible date", name)
            << post << QString() << QString() << Punch("5", "2024-02-30 08:00:00")
            << testDb_.Says(testsupport::DriverSays::ImpossibleDate);
    }
}

// Posting without knowing the highest Number or whether a punch is there
// would number wrongly or post punches twice: nothing is posted.
void TestMovementPosting::failedReadPostsNothing()
{
    QFETCH(PostingMethod, post);
    QFETCH(QString, breaking);
    QFETCH(QString, mending);
    QFETCH(MoveRec, punch);
    QFETCH(QString, driverText);
    if (breaking.isEmpty() && testDb_.Kind() == ServerKind::SqlServer)
        QSKIP("the T-SQL test engine compares an impossible date without an error (SQL Server "
              "fails the check); only its insert is refused there");

    QVERIFY(
        testDb_.InsertMovementRow(41, QStringLiteral("E"), QStringLiteral("2024-01-01 08:00:00")));
    auto mend = qScopeGuard([&] { testDb_.Admin(mending); });
    if (!breaking.isEmpty())
        QVERIFY2(testDb_.Admin(breaking), qPrintable(testDb_.LastError()));
    const MoveRecList movements = {Punch("1", "2024-03-07 08:00:00"), punch,
                                   Punch("2", "2024-03-07 08:00:00")};
    try {
        post(testDb_.Record(), movements, db_, messages_, clock_, {});
        QFAIL("the posting did not fail");
    } catch (const DatabaseError& error) {
        QVERIFY2(error.Text().contains(driverText), qPrintable(error.Text()));
    }
    QVERIFY(!db_.IsOpen());
    QCOMPARE(messages_.messages, QStringList());
    mend.dismiss();
    if (!mending.isEmpty())
        QVERIFY2(testDb_.Admin(mending), qPrintable(testDb_.LastError()));
    QCOMPARE(testDb_.Movements().size(), 1);
}

void TestMovementPosting::lockWaitIsBounded()
{
    // Another posting has taken the lock and written a row, not yet committed.
    Database other;
    QVERIFY(EnsureOpen(other, testDb_.Record().ConnStr));
    Transaction writing(other);
    QCOMPARE(LockAndReadNextNumber(other, StatementsFor(other.Kind())), 1.0);
    InsertMovementRow(other, clock_, QStringLiteral("W"), QStringLiteral("2024-01-01 08:00:00 "),
                      7);

    db_.SetLockWait(2);
    QElapsedTimer timer;
    timer.start();
    // With nothing to post there is nothing to wait for.
    QCOMPARE(Post({}).statements, 0);
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    timer.restart();
    try {
        Post({Punch("1", "2024-03-07 08:00:00")});
        QFAIL("the posting did not wait for the lock");
    } catch (const DatabaseError& error) {
        QVERIFY2(error.Text().startsWith(QStringLiteral("The movement table tsrHrMovement stayed "
                                                        "locked by another connection (another "
                                                        "posting?) for 2 seconds")),
                 qPrintable(error.Text()));
        QVERIFY2(error.Text().contains(QStringLiteral("timeout")), qPrintable(error.Text()));
    }
    QVERIFY2(timer.elapsed() >= 1500 && timer.elapsed() < 10000,
             qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!db_.IsOpen());
    writing.Rollback();
    QCOMPARE(testDb_.Movements().size(), 0);
}

void TestMovementPosting::secondPostingWaitsForTheFirst()
{
    const MoveRecList movements = ManyPunches(50);
    // The first posting, on a thread of its own, holds the lock for a while
    // after staging its punches: its clock is read just before it inserts.
    std::atomic<bool> locked{false};
    PostingSummary first;
    QString firstError;
    std::thread other([&] {
        Database db;
        RecordingMessageSink messages;
        CallbackClock slowClock([&](int) {
            locked = true;
            QThread::msleep(1500);
        });
        try {
            first = PostMovements(testDb_.Record(), movements, db, messages, slowClock);
        } catch (const DatabaseError& error) {
            firstError = error.Text();
        }
    });
    QElapsedTimer waiting;
    waiting.start();
    while (!locked && waiting.elapsed() < 30000)
        QThread::msleep(10);
    const PostingSummary second = Post(movements);
    other.join();

    QCOMPARE(firstError, QString());
    QCOMPARE(first, (PostingSummary{50, 0, 0}));
    QCOMPARE(second, (PostingSummary{0, 50, 0}));
    const QList<double> numbers = Numbers(testDb_.Movements());
    QCOMPARE(numbers.size(), 50);
    QCOMPARE(numbers.first(), 2.0);
    QCOMPARE(numbers.last(), 51.0);
}

void TestMovementPosting::progressAfterEachBatch()
{
    for (const PostingMethod post :
         {PostingMethod(PostMovements), PostingMethod(PostMovementsPerRow)}) {
        QList<QPair<qint64, qint64>> reports;
        const int count = 2 * kPostingBatchRows + 7;
        const PostingSummary summary = post(testDb_.Record(), ManyPunches(count), db_, messages_,
                                            clock_, [&](qint64 done, qint64 total) {
                                                reports.append({done, total});
                                            });
        QCOMPARE(summary, (PostingSummary{count, 0, 0}));
        QCOMPARE(reports,
                 (QList<QPair<qint64, qint64>>{
                     {kPostingBatchRows, count}, {2 * kPostingBatchRows, count}, {count, count}}));
        QVERIFY(testDb_.Reset());
    }
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
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             PostMovements(record, MoveRecList{Punch("1", "2024-03-07 08:00:00")},
                                           db_, messages_, clock_));
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
    QVERIFY2(
        testDb_.Admin(QStringLiteral("ALTER TABLE tsrHrMovement ALTER COLUMN Number TYPE ") + type,
                      nullptr, name2),
        qPrintable(testDb_.LastError()));
    if (!empty) {
        QVERIFY(testDb_.InsertMovementRow(40, QStringLiteral("a"), QStringLiteral("2024-01-01"),
                                          name2));
        QVERIFY(testDb_.InsertMovementRow(41, QStringLiteral("b"), QStringLiteral("2024-01-01"),
                                          name2));
    }
    QVERIFY(EnsureOpen(db_, testDb_.Record(name2).ConnStr));
    QCOMPARE(NextMovementNumber(db_), expected);
}

void TestMovementPosting::guidText()
{
    static const QRegularExpression form(
        QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
    const QString first = NewGuidText();
    QVERIFY2(form.match(first).hasMatch(), qPrintable(first));
    QVERIFY(NewGuidText() != first);
}

// Batches staged while the list grows: dropped unposted they leave nothing;
// staged early, they are not sent again; a server lost while staging early
// costs nothing but the early start. Either way the posting ends as one
// posting of the whole list.
void TestMovementPosting::stagingWhileTheDownloadRuns()
{
    const CConnServer record = testDb_.Record();
    const CConnServer second = testDb_.Record(testDb_.Name2());
    const MoveRecList all = ManyPunches(3 * kPostingBatchRows + 20);
    const auto growTo = [&](MovementList& list, qsizetype size, StagedPosting& posting) {
        while (list.size() < size)
            list.append(all.at(list.size()));
        posting.StageReady();
    };
    const PostingSummary allNew{int(all.size()), 0, 0};
    QVERIFY(EnsureOpen(db_, record.ConnStr));
    {
        MovementList growing;
        StagedPosting dropped(record.ConnStr, growing, db_, messages_, clock_);
        growTo(growing, 2 * kPostingBatchRows + 5, dropped);
    }
    QCOMPARE(testDb_.Movements().size(), 0);

    MovementList cut;
    StagedPosting restaged(record.ConnStr, cut, db_, messages_, clock_);
    growTo(cut, kPostingBatchRows + 1, restaged);
    QVERIFY2(testDb_.StopServer(), qPrintable(testDb_.LastError()));
    growTo(cut, 2 * kPostingBatchRows + 1, restaged);
    QVERIFY(!db_.IsOpen());
    QVERIFY2(testDb_.StartServer(), qPrintable(testDb_.LastError()));
    growTo(cut, all.size(), restaged);
    const PostingSummary afterCut = restaged.Post();
    QCOMPARE(afterCut, allNew);
    // The lost connection taught nothing about the punches: every batch is
    // still merged at once.
    const int batches = int((all.size() + kPostingBatchRows - 1) / kPostingBatchRows);
    QVERIFY2(afterCut.statements <= 5 + batches, qPrintable(QString::number(afterCut.statements)));
    QVERIFY(messages_.messages.isEmpty());

    QVERIFY(EnsureOpen(db_, second.ConnStr));
    MovementList growing;
    StagedPosting early(second.ConnStr, growing, db_, messages_, clock_);
    for (qsizetype size = 100; size < all.size(); size += 100)
        growTo(growing, size, early);
    growTo(growing, all.size(), early);
    const PostingSummary staged = early.Post();
    QCOMPARE(staged, allNew);
    // The batch table and three full batches went before Post.
    QVERIFY2(staged.statements <= afterCut.statements - 4,
             qPrintable(QStringLiteral("%1 statements, %2 after the cut")
                            .arg(staged.statements)
                            .arg(afterCut.statements)));
    QCOMPARE(ContentWithoutIds(testDb_.Movements()),
             ContentWithoutIds(testDb_.Movements(testDb_.Name2())));
}

// FreeTDS sends a prepared statement as a call of sp_prepexec, and SQL Server
// drops a temporary table made inside a call when the call returns (the
// engine of the tests keeps it): the batch table must be made by a batch of
// its own, which only FreeTDS's log of its requests shows.
void TestMovementPosting::batchTableIsMadeByAPlainBatch()
{
    const QTemporaryDir dir;
    const QString dump = dir.filePath(QStringLiteral("tds.log"));
    qputenv("TDSDUMP", QFile::encodeName(dump));
    const auto unset = qScopeGuard([] { qunsetenv("TDSDUMP"); });
    QVERIFY(EnsureOpen(db_, testDb_.Record().ConnStr));
    if (db_.Kind() != ServerKind::SqlServer)
        QSKIP("only a server reached through FreeTDS has its requests logged");
    const int count = kPostingBatchRows + 5;
    QCOMPARE(Post(ManyPunches(count)), (PostingSummary{count, 0, 0}));

    int creations = 0;
    for (const testsupport::TdsRequest& request : testsupport::ReadTdsRequests(dump)) {
        if (!request.Mentions(QStringLiteral("AS Stored INTO #zelvor_batch")))
            continue;
        ++creations;
        QCOMPARE(request.type, int(testsupport::TdsRequest::SqlBatch));
    }
    QCOMPARE(creations, 1);
}

QTEST_GUILESS_MAIN(TestMovementPosting)
#include "tst_movement_posting.moc"
