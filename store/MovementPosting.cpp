#include "store/MovementPosting.h"

#include "platform/DateTexts.h"
#include "resources/FaultTexts.h"
#include "store/PostingStatements.h"
#include "store/SqlValues.h"
#include "store/Transaction.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QUuid>

#include <algorithm>

namespace {

const QString kMaxNumber = QStringLiteral("SELECT Max(Number) As Number FROM tsrHrMovement");
static_assert(kPostingBatchRows * kStagedRowParameters < 2100 && kPostingBatchRows <= 1000,
              "a batch statement stays within SQL Server's limits");

// Servers and drivers cancel a timed-out statement a little early or late.
constexpr qint64 kTimerSlackMs = 250;

QString TodayText(const Clock& clock)
{
    const QDate now = clock.now().date();
    return YearMonthDayText(now.year(), now.month(), now.day());
}

double HighestNumberPlusOne(Database& db, const QString& text, std::optional<int> timeoutSeconds)
{
    std::optional<QSqlQuery> query = db.Query(text, {}, timeoutSeconds);
    if (!query)
        throw DatabaseError(faulttext::kQueryFailed);
    if (!NextRow(*query))
        return 0;
    return NumberOf(query->value(QStringLiteral("Number"))).value_or(0) + 1;
}

void InsertRow(Database& db, const Clock& clock, const QString& cardNb, const QString& date,
               double number)
{
    db.Execute(QStringLiteral(" INSERT INTO tsrHrMovement (ID, ParentID, Number, CardNb, "
                              "Date, Direction, Status, IsManual, IsDelete, "
                              "IsPosted,UserID,CDate) VALUES(?, "
                              "'00000000-0000-0000-0000-000000000000', ?, ?, ?, -1, "
                              "0,0,0,0,'00000000-0000-0000-0000-000000000000', ?)"),
               {NewGuidText(), number, cardNb, date, TodayText(clock)});
}

// Thrown inside an attempt of a posting when the server refused a statement
// and the attempt has learnt what to do differently next time.
struct Retry {};

// One posting of a movement list, by batches or row by row.
//
// A posting is one transaction: lock, highest Number, then the batches (or
// the checks and inserts), commit. When the server refuses a statement that
// inserts, the whole transaction is rolled back and the posting starts again
// from the lock, having learnt from the refusal: a refused batch table INSERT
// or merge of one batch makes that batch go row by row; a refused merge of
// several batches makes each batch merge on its own; a refused row insert
// marks that punch refused, so it is counted and reported but not tried
// again. Each attempt learns something new, so the attempts end. A statement
// takes effect entirely or not at all, and rolling back the transaction undoes
// everything else, so every attempt starts from the table as it was. This
// needs no savepoints, which psqlODBC's own statement rollback would undo,
// nor any server's rule about which errors end a transaction; refusals are
// rare, and an attempt without them costs nothing extra.
//
// A failure that teaches nothing (the lock, the highest Number, a duplicate
// check, the commit, a lost connection) ends the posting with nothing of it
// in the table.
class Posting {
public:
    Posting(Database& db, const MoveRecList& movements, MessageSink& messages, const Clock& clock,
            const PostingProgress& progress)
        : db_(db), movements_(movements), messages_(messages), clock_(clock), progress_(progress)
    {
    }

    PostingSummary Run(bool inBatches)
    {
        const qint64 before = db_.StatementsSent();
        PostingSummary summary;
        try {
            for (;;) {
                try {
                    summary = Attempt(inBatches);
                    break;
                } catch (const Retry&) {
                }
            }
        } catch (...) {
            // A connection that failed is not reused for the next device.
            db_.Close();
            throw;
        }
        db_.Close();
        for (const qsizetype index : std::as_const(failedRows_))
            messages_.Show(faulttext::kDatabaseError + refused_.value(index));
        summary.statements = int(db_.StatementsSent() - before);
        return summary;
    }

private:
    PostingSummary Attempt(bool inBatches)
    {
        summary_ = PostingSummary();
        failedRows_.clear();
        Transaction transaction(db_);
        sql_ = &StatementsFor(db_.Kind());
        // The first punch gets the highest Number plus two; every punch uses
        // up one number, whether it is inserted, skipped or refused.
        const double first = LockAndReadNumber() + 1;
        if (inBatches)
            PostInBatches(first);
        else
            PostRowByRow(first);
        transaction.Commit();
        return summary_;
    }

    // Locks the table against other writers, waiting at most the lock wait,
    // and reads the highest Number under the lock. A lock statement that ran
    // out of time says so; any other failure keeps the driver's text.
    double LockAndReadNumber()
    {
        const int wait = db_.LockWaitSeconds();
        const auto locking = [wait](const auto& work) {
            QElapsedTimer timer;
            timer.start();
            try {
                return work();
            } catch (const DatabaseError& error) {
                if (wait > 0 && timer.elapsed() >= wait * 1000 - kTimerSlackMs)
                    throw DatabaseError(faulttext::kMovementTableLocked.arg(wait) + error.Text());
                throw;
            }
        };
        if (sql_->lock.isEmpty())
            return locking([&] { return HighestNumberPlusOne(db_, sql_->maxNumber, wait); });
        locking([&] { return db_.Execute(sql_->lock, {}, wait); });
        return HighestNumberPlusOne(db_, sql_->maxNumber, std::nullopt);
    }

    void PostRowByRow(double number)
    {
        const qsizetype total = movements_.size();
        for (qsizetype start = 0; start < total; start += kPostingBatchRows) {
            const qsizetype end = std::min(total, start + kPostingBatchRows);
            number = PostRows(start, end, number);
            if (end < total)
                Report(end);
        }
        Report(total);
    }

    // Checks and inserts punches [start, end) one by one; returns the number
    // after the last.
    double PostRows(qsizetype start, qsizetype end, double number)
    {
        for (qsizetype i = start; i < end; ++i) {
            const MoveRec& movement = movements_.at(i);
            if (IsDuplicateMovement(db_, movement.CardNb, movement.Date)) {
                ++summary_.skipped;
            } else if (refused_.contains(i)) {
                ++summary_.failed;
                failedRows_.append(i);
            } else {
                Learning([&] { InsertRow(db_, clock_, movement.CardNb, movement.Date, number); },
                         [&](const DatabaseError& error) {
                             refused_.insert(i, error.Text());
                             return true;
                         });
                ++summary_.inserted;
            }
            number += 1;
        }
        return number;
    }

    // The punches go into the batch table kPostingBatchRows at a time, and one
    // statement inserts the new ones among them (MergeStatement); after a
    // refusal, batches may merge one by one or go row by row.
    void PostInBatches(double number)
    {
        const qsizetype total = movements_.size();
        bool created = false;
        // Every batch but the last has kPostingBatchRows punches and reuses
        // one prepared statement.
        std::optional<Database::Prepared> fullBatch;
        qsizetype unmerged = -1; // first staged punch not yet merged
        for (qsizetype start = 0; start < total; start += kPostingBatchRows) {
            const qsizetype end = std::min(total, start + kPostingBatchRows);
            if (rowByRow_.contains(start)) {
                // Earlier punches go first: the checks must see them.
                Merge(unmerged, start);
                unmerged = -1;
                number = PostRows(start, end, number);
            } else {
                if (!created)
                    db_.Execute(sql_->createBatch);
                created = true;
                QVariantList values;
                values.reserve((end - start) * kStagedRowParameters);
                for (qsizetype i = start; i < end; ++i) {
                    const MoveRec& movement = movements_.at(i);
                    values << int(i + 1) << NewGuidText() << number << movement.CardNb
                           << movement.Date << movement.CardNb;
                    number += 1;
                }
                Learning(
                    [&] {
                        if (end - start < kPostingBatchRows) {
                            db_.Execute(StageStatement(*sql_, int(end - start)), values);
                            return;
                        }
                        if (!fullBatch)
                            fullBatch = db_.Prepare(StageStatement(*sql_, kPostingBatchRows));
                        fullBatch->Execute(values);
                    },
                    [&](const DatabaseError&) { return MarkRowByRow(start); });
                if (unmerged < 0)
                    unmerged = start;
                if (mergeEachBatch_) {
                    Merge(unmerged, end);
                    unmerged = -1;
                }
            }
            if (end < total)
                Report(end);
        }
        Merge(unmerged, total);
        Report(total);
    }

    // Inserts the new punches among the staged ones [start, end), if any.
    void Merge(qsizetype start, qsizetype end)
    {
        if (start < 0 || start >= end)
            return;
        const int first = int(start + 1);
        const int last = int(end);
        int inserted = 0;
        Learning(
            [&] {
                inserted =
                    db_.Execute(MergeStatement(*sql_), {TodayText(clock_), first, last, first});
            },
            [&](const DatabaseError&) {
                if (end - start <= kPostingBatchRows)
                    return MarkRowByRow(start);
                const bool learnt = !mergeEachBatch_;
                mergeEachBatch_ = true;
                return learnt;
            });
        if (inserted < 0)
            inserted = CountStaged(first, last);
        summary_.inserted += inserted;
        summary_.skipped += int(end - start) - inserted;
    }

    bool MarkRowByRow(qsizetype start)
    {
        if (rowByRow_.contains(start))
            return false;
        rowByRow_.insert(start);
        return true;
    }

    // The staged punches of [first, last] that are in the table now, for a
    // driver that does not report how many rows a statement inserted: the
    // staged IDs are new, so a row with one of them is a row just inserted.
    int CountStaged(int first, int last)
    {
        std::optional<QSqlQuery> query = db_.Query(
            QStringLiteral("SELECT COUNT(*) AS Inserted FROM tsrHrMovement t WHERE EXISTS "
                           "(SELECT 1 FROM %1 b WHERE b.ID = t.ID AND b.Ord BETWEEN ? AND ?)")
                .arg(sql_->batch),
            {first, last});
        if (!query || !NextRow(*query))
            throw DatabaseError(faulttext::kQueryFailed);
        return int(NumberOf(query->value(QStringLiteral("Inserted"))).value_or(0));
    }

    // Runs work; when the server refuses it, learn(error) records what the
    // next attempt does differently and the attempt ends. A failure that
    // teaches nothing new ends the posting.
    template <typename Work, typename Learn> void Learning(const Work& work, const Learn& learn)
    {
        try {
            work();
        } catch (const DatabaseError& error) {
            if (learn(error))
                throw Retry{};
            throw;
        }
    }

    void Report(qsizetype done)
    {
        if (progress_)
            progress_(done, movements_.size());
    }

    Database& db_;
    const MoveRecList& movements_;
    MessageSink& messages_;
    const Clock& clock_;
    const PostingProgress& progress_;
    const PostingStatements* sql_ = nullptr;
    PostingSummary summary_;

    // Learnt from refusals, kept across attempts.
    bool mergeEachBatch_ = false;
    QSet<qsizetype> rowByRow_;          // batches, by their first punch
    QHash<qsizetype, QString> refused_; // punch -> the driver's text
    // The refused punches of the last attempt, in order, to report.
    QList<qsizetype> failedRows_;
};

} // namespace

double NextMovementNumber(Database& db)
{
    return HighestNumberPlusOne(db, kMaxNumber, std::nullopt);
}

bool IsDuplicateMovement(Database& db, const QString& cardNb, const QString& date)
{
    std::optional<QSqlQuery> query =
        db.Query(QStringLiteral("SELECT ISNULL(COUNT(*),0) AS CountEmpNB FROM tsrHrMovement "
                                "WHERE Date =? AND CardNb =?"),
                 {date, cardNb});
    if (!query)
        throw DatabaseError(faulttext::kQueryFailed);
    if (!NextRow(*query))
        return false;
    return NumberOf(query->value(QStringLiteral("CountEmpNB"))).value_or(0) > 0;
}

bool InsertMovement(Database& db, MessageSink& messages, const Clock& clock, const QString& cardNb,
                    const QString& date, const QString& /*code2*/, double number)
{
    try {
        InsertRow(db, clock, cardNb, date, number);
        return true;
    } catch (const DatabaseError& error) {
        messages.Show(faulttext::kDatabaseError + error.Text());
        return false;
    }
}

QString NewGuidText()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}

PostingSummary PostMovements(CConnServer record, const MoveRecList& movements, Database& db,
                             MessageSink& messages, const Clock& clock,
                             const PostingProgress& progress)
{
    if (!EnsureOpen(db, record.ConnStr))
        return {};
    return Posting(db, movements, messages, clock, progress).Run(true);
}

PostingSummary PostMovementsPerRow(CConnServer record, const MoveRecList& movements, Database& db,
                                   MessageSink& messages, const Clock& clock,
                                   const PostingProgress& progress)
{
    if (!EnsureOpen(db, record.ConnStr))
        return {};
    return Posting(db, movements, messages, clock, progress).Run(false);
}
