#include "PerRowPosting.h"
#include "TestDatabase.h"
#include "store/MovementPosting.h"

#include <QSet>
#include <QtTest>

using testsupport::ContentWithoutIds;
using testsupport::TestDatabase;

using PostingMethod = PostingSummary (*)(CConnServer, const MovementList&, Database&, MessageSink&,
                                         const Clock&, const PostingProgress&);

Q_DECLARE_METATYPE(MoveRecList)
Q_DECLARE_METATYPE(QList<MoveRecList>)
Q_DECLARE_METATYPE(PostingMethod)

namespace {

MoveRec Punch(const QString& cardNb, const QString& date)
{
    return MoveRec{cardNb, date, QStringLiteral("0")};
}

// count distinct punches from a start: 97 cards, a minute and a second apart.
MoveRecList Punches(int count, int from = 0)
{
    MoveRecList movements;
    const QDateTime start(QDate(2024, 3, 1), QTime(6, 0));
    for (int i = from; i < from + count; ++i)
        movements.append(
            Punch(QStringLiteral("C%1").arg(i % 97),
                  start.addSecs(61 * i).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss "))));
    return movements;
}

MoveRecList EveryOther(const MoveRecList& movements)
{
    MoveRecList kept;
    for (qsizetype i = 0; i < movements.size(); i += 2)
        kept.append(movements.at(i));
    return kept;
}

// The table rows of punches already posted, numbered 10, 20, ...
QList<testsupport::MovementRow> RowsOf(const MoveRecList& existing)
{
    QList<testsupport::MovementRow> rows;
    for (qsizetype i = 0; i < existing.size(); ++i) {
        testsupport::MovementRow& row = rows.emplace_back();
        row.Number = 10.0 * double(i + 1);
        row.CardNb = existing.at(i).CardNb;
        row.Date = existing.at(i).Date.trimmed();
    }
    return rows;
}

const QString kTooLong(60, QLatin1Char('9'));

} // namespace

// The batch method against the per-row one: the same starting table, the
// same downloads, and afterwards the same table (every column but the new
// GUIDs), the same counts and the same messages.
class TestPostingEquivalence : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void sameTableBothWays_data();
    void sameTableBothWays();
    void refusalsWhateverBecomesOfTheTransaction_data();
    void refusalsWhateverBecomesOfTheTransaction();

private:
    TestDatabase testDb_;
    FixedClock clock_{QDateTime(QDate(2024, 3, 9), QTime(23, 59, 59))};
};

void TestPostingEquivalence::initTestCase()
{
    const QString problem = TestDatabase::EnvironmentProblem();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestPostingEquivalence::init()
{
    QVERIFY2(testDb_.Reset() && testDb_.Reset(testDb_.Name2()), qPrintable(testDb_.LastError()));
}

void TestPostingEquivalence::sameTableBothWays_data()
{
    QTest::addColumn<MoveRecList>("existing"); // rows in the table before, Number 10, 20, ...
    QTest::addColumn<QList<MoveRecList>>("downloads"); // posted one after the other

    const int batch = kPostingBatchRows;
    QTest::newRow("empty table") << MoveRecList{} << QList<MoveRecList>{Punches(3)};
    QTest::newRow("all new, three batches")
        << Punches(5, 5000) << QList<MoveRecList>{Punches(2 * batch + 200)};
    QTest::newRow("all duplicates")
        << Punches(batch + 100) << QList<MoveRecList>{Punches(batch + 100)};
    QTest::newRow("mixed") << EveryOther(Punches(2 * batch + 100))
                           << QList<MoveRecList>{Punches(2 * batch + 100)};

    // Equal punches in one batch, and across batches.
    MoveRecList repeated = Punches(batch + 50);
    repeated.insert(3, repeated.at(1));
    repeated.insert(4, repeated.at(1));
    repeated += Punches(60);
    QTest::newRow("duplicates inside one download") << Punches(2) << QList<MoveRecList>{repeated};

    QTest::newRow("equal punches on two terminals")
        << MoveRecList{} << QList<MoveRecList>{Punches(batch + 200), Punches(batch, 300)};

    // A refused punch in the middle of a batch, an equal one after it, and a
    // refused one in a later batch.
    MoveRecList refusing = Punches(2 * batch + 100);
    refusing[batch + 50].CardNb = kTooLong;
    refusing[batch + 60] = refusing.at(batch + 50);
    refusing[2 * batch + 10].CardNb = kTooLong + QStringLiteral("x");
    QTest::newRow("refused punches") << Punches(3) << QList<MoveRecList>{refusing};

    const QStringList oddCards = {
        QStringLiteral("O'Neil"), QStringLiteral("12\"34"), QStringLiteral("50%"),
        QStringLiteral("a_b"), QStringLiteral("back\\slash"), QStringLiteral("A\tB"),
        QStringLiteral("line\nbreak"), QStringLiteral("\x01\x1f"), QStringLiteral("أحمد"),
        QStringLiteral("ص-9"), QStringLiteral("ab"), QStringLiteral("AB"), QStringLiteral("7"),
        QStringLiteral("7 "), QStringLiteral(" 7"), QString(QLatin1String("")),
        QStringLiteral("\u00e9"), QString(50, QChar(0x0628)), QString(50, QLatin1Char('x')),
        // Longer than the column by blanks only: stored cut to 50, which no
        // longer equals the text.
        QString(49, QLatin1Char('x')) + QStringLiteral("   ")};
    MoveRecList odd;
    for (const QString& card : oddCards)
        odd << Punch(card, QStringLiteral("2024-03-07 08:00:00 "));
    odd += odd; // each again: a duplicate unless the column does not hold its text
    // A quarter of them end the first batch, which goes through the statement
    // that binds whole batches; the rest begin the next.
    odd = Punches(batch - int(odd.size()) / 4) + odd;
    QTest::newRow("odd card numbers across a batch boundary")
        << MoveRecList{Punch(QStringLiteral("AB"), QStringLiteral("2024-03-07 08:00:00"))}
        << QList<MoveRecList>{odd, odd};
    // Outside the Windows-1256 code page of a varchar column on SQL Server:
    // FreeTDS, which gets Qt's texts as 8-bit text, cannot convert them, so
    // a check fails there and both ways post nothing, with the same error.
    MoveRecList wide;
    for (const QString& card :
         {QStringLiteral("أحمد٣٤"), QStringLiteral("e\u0301"), QStringLiteral("\U0001F600")})
        wide << Punch(card, QStringLiteral("2024-03-07 08:00:00 "));
    QTest::newRow("cards outside an 8-bit code page")
        << MoveRecList{} << QList<MoveRecList>{wide, wide};

    // Texts that name the same time are the same punch to the server.
    const MoveRecList dates = {
        Punch(QStringLiteral("D"), QStringLiteral("1753-01-01 00:00:00 ")),
        Punch(QStringLiteral("D"), QStringLiteral("9999-12-31 23:59:59 ")),
        Punch(QStringLiteral("D"), QStringLiteral("2024-02-29 12:00:00 ")),
        Punch(QStringLiteral("D"), QStringLiteral("2024-12-31 23:59:59 ")),
        Punch(QStringLiteral("D"), QStringLiteral("2025-01-01 00:00:00 ")),
        Punch(QStringLiteral("D"), QStringLiteral("2024-03-07 08:00:00")),
        Punch(QStringLiteral("D"), QStringLiteral("2024-03-07 8:00:00 ")),
        Punch(QStringLiteral("D"), QStringLiteral("2024-03-07 08:00:00.000 ")),
        Punch(QStringLiteral("D"), QStringLiteral("9999-12-31 23:59:59 "))};
    QTest::newRow("dates at the edges")
        << MoveRecList{Punch(QStringLiteral("D"), QStringLiteral("2024-12-31 23:59:59"))}
        << QList<MoveRecList>{dates};

    // The last punch of each equals the first, across a batch boundary for batch + 1.
    for (const int count : {batch - 1, batch, batch + 1}) {
        MoveRecList around = Punches(count - 1);
        around.append(around.first());
        QTest::addRow("%d punches", count) << Punches(1, count + 7) << QList<MoveRecList>{around};
    }
}

void TestPostingEquivalence::sameTableBothWays()
{
    QFETCH(MoveRecList, existing);
    QFETCH(QList<MoveRecList>, downloads);

    const QString batchDb = testDb_.Name();
    const QString rowDb = testDb_.Name2();
    QList<testsupport::MovementRow> rows = RowsOf(existing);
    for (const QString& name : {batchDb, rowDb})
        QVERIFY2(testDb_.InsertMovementRows(rows, name), qPrintable(testDb_.LastError()));

    for (const MoveRecList& download : downloads) {
        Database batchConnection;
        Database rowConnection;
        RecordingMessageSink batchMessages;
        RecordingMessageSink rowMessages;
        // A posting that fails is compared by its error.
        const auto post = [&](PostingMethod method, const QString& name, Database& connection,
                              RecordingMessageSink& messages, QString& error) {
            try {
                return method(testDb_.Record(name), download, connection, messages, clock_, {});
            } catch (const DatabaseError& failure) {
                error = failure.Text();
                return PostingSummary{};
            }
        };
        QString batchError;
        QString rowError;
        const PostingSummary inBatches =
            post(PostMovements, batchDb, batchConnection, batchMessages, batchError);
        const PostingSummary byRow =
            post(PostMovementsPerRow, rowDb, rowConnection, rowMessages, rowError);
        QCOMPARE(batchError, rowError);
        QVERIFY2(batchError.isEmpty() || testDb_.Kind() == ServerKind::SqlServer,
                 qPrintable(batchError));
        QCOMPARE(inBatches, byRow);
        QCOMPARE(batchMessages.messages, rowMessages.messages);
        QCOMPARE(batchMessages.messages.size(), inBatches.failed);
        if (inBatches.failed == 0) {
            const int batches = int((download.size() + kPostingBatchRows - 1) / kPostingBatchRows);
            QVERIFY2(inBatches.statements <= 5 + batches,
                     qPrintable(QString::number(inBatches.statements)));
        }
    }

    rows = testDb_.Movements(batchDb);
    QCOMPARE(ContentWithoutIds(rows), ContentWithoutIds(testDb_.Movements(rowDb)));
    QSet<QString> ids;
    for (const testsupport::MovementRow& row : rows)
        ids.insert(row.ID);
    QCOMPARE(ids.size(), rows.size());
}

void TestPostingEquivalence::refusalsWhateverBecomesOfTheTransaction_data()
{
    QTest::addColumn<PostingMethod>("post");
    QTest::addColumn<QString>("driverOption"); // added to the connection string

    // psqlODBC's default rolls back just the refused statement; with
    // Protocol=7.4-1 it rolls back the whole transaction, as SQL Server does
    // for some errors, and with 7.4-0 the transaction stays aborted.
    const QList<std::pair<const char*, QString>> options = {
        {"statement rolled back", QString()},
        {"transaction rolled back", QStringLiteral(";Protocol=7.4-1")},
        {"transaction aborted", QStringLiteral(";Protocol=7.4-0")}};
    for (const auto& [name, option] : options) {
        QTest::addRow("in batches, %s", name) << PostingMethod(PostMovements) << option;
        QTest::addRow("row by row, %s", name) << PostingMethod(PostMovementsPerRow) << option;
    }
}

// The batch method and the per-row one, whatever the server does with the
// transaction when it refuses a punch, leave the table as the per-row method
// does when only the refused statement is undone.
void TestPostingEquivalence::refusalsWhateverBecomesOfTheTransaction()
{
    QFETCH(PostingMethod, post);
    QFETCH(QString, driverOption);

    const int batch = kPostingBatchRows;
    MoveRecList download = Punches(3 * batch);
    for (const int refused : {5, batch + 1, batch + 2, 2 * batch + 7})
        download[refused].CardNb = kTooLong + QString::number(refused);
    download[batch + 3] = download.at(batch + 1);
    const MoveRecList existing = EveryOther(Punches(40, batch));

    const QList<testsupport::MovementRow> rows = RowsOf(existing);
    for (const QString& name : {testDb_.Name(), testDb_.Name2()})
        QVERIFY2(testDb_.InsertMovementRows(rows, name), qPrintable(testDb_.LastError()));

    CConnServer record = testDb_.Record();
    record.ConnStr += driverOption;
    Database connection;
    RecordingMessageSink messages;
    const PostingSummary summary = post(record, download, connection, messages, clock_, {});

    Database referenceConnection;
    RecordingMessageSink referenceMessages;
    const PostingSummary reference = PostMovementsPerRow(
        testDb_.Record(testDb_.Name2()), download, referenceConnection, referenceMessages, clock_);
    QCOMPARE(summary, reference);
    QCOMPARE(summary.failed, 5);
    QCOMPARE(messages.messages, referenceMessages.messages);
    QCOMPARE(ContentWithoutIds(testDb_.Movements()),
             ContentWithoutIds(testDb_.Movements(testDb_.Name2())));
}

QTEST_GUILESS_MAIN(TestPostingEquivalence)
#include "tst_posting_equivalence.moc"
