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

// The number in the column of a query's first row (0 when it is NULL);
// nothing when there is no row. A query that fails throws.
std::optional<double> FirstRowNumber(std::optional<QSqlQuery> query, const QString& column)
{
    if (!query)
        throw DatabaseError(faulttext::kQueryFailed);
    if (!NextRow(*query))
        return std::nullopt;
    return NumberOf(query->value(column)).value_or(0);
}

double HighestNumberPlusOne(Database& db, const QString& text, std::optional<int> timeoutSeconds)
{
    const std::optional<double> highest =
        FirstRowNumber(db.Query(text, {}, timeoutSeconds), QStringLiteral("Number"));
    return highest ? *highest + 1 : 0;
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
// and ended the transaction with it; the attempt has learnt what to do
// differently next time.
struct Retry {};

// One posting of a movement list, by batches or row by row.
//
// A posting is one transaction: lock, highest Number, batch table, then the
// batches (or the checks and inserts), commit. A statement takes effect
// entirely or not at all, so a statement the server refuses changed nothing.
// What happens next depends on whether the transaction goes on:
//
// - It goes on (SQL Server ends only the statement for the errors a punch
//   causes; psqlODBC rolls back to a savepoint it takes before every
//   statement): the posting carries on at once. A refused batch goes row by
//   row, a refused merge of several batches goes batch by batch, a refused
//   punch is counted and reported.
// - It has ended (the batch table, made inside it, is gone): the posting
//   starts again from the lock, having learnt which batch to take row by row,
//   that batches merge one by one, or which punch is refused (counted and
//   reported, not tried again). Each new attempt knows something more, so the
//   attempts end; rolling back undoes everything else, so each starts from
//   the table as it was.
//
// Savepoints of our own would cost a statement each, and psqlODBC's own
// savepoints release them. A failure that is no refusal (the lock, the highest
// Number, a duplicate check, the commit, a lost connection) ends the posting
// with nothing of it in the table.
class Posting {
public:
    Posting(Database& db, const MovementList& movements, MessageSink& messages, const Clock& clock)
        : db_(db), movements_(movements), messages_(messages), clock_(clock)
    {
    }

    // Stages the complete batches of the punches listed so far, while the
    // list still grows (a download in progress), in the transaction that Run
    // then goes on with. Staging early only saves time: whatever goes wrong
    // here is left to Run, which then stages every punch itself and meets
    // and reports the fault.
    void StageEarly()
    {
        const qsizetype ready = movements_.size() - movements_.size() % kPostingBatchRows;
        if (!stagingEarly_ || ready <= staged_)
            return;
        try {
            if (!transaction_)
                Begin();
            StageUpTo(ready);
        } catch (...) {
            stagingEarly_ = false;
            transaction_.reset();
            // A batch marked here may only have met the connection's end:
            // Run stages every batch afresh and learns what it meets itself.
            rowByRow_.clear();
            // Run opens a new connection should this one have failed.
            db_.Close();
        }
    }

    PostingSummary Run(bool inBatches, const PostingProgress& progress,
                       const std::function<void()>& beforeLock)
    {
        progress_ = &progress;
        beforeLock_ = &beforeLock;
        stagingEarly_ = false;
        const qint64 before = db_.StatementsSent();
        PostingSummary summary;
        try {
            for (;;) {
                try {
                    summary = Attempt(inBatches);
                    break;
                } catch (const Retry&) {
                    transaction_.reset();
                }
            }
        } catch (...) {
            transaction_.reset();
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
        // Nothing to post: no transaction, and no lock for others to wait on.
        if (movements_.isEmpty())
            return summary_;
        if (!transaction_)
            Begin();
        // The punches are staged before the table is locked, so the lock is
        // held for the merge alone and other writers wait only for that.
        if (inBatches)
            StageUpTo(movements_.size());
        if (*beforeLock_)
            (*beforeLock_)();
        // The first punch gets the highest Number plus two; every punch uses
        // up one number, whether it is inserted, skipped or refused.
        base_ = LockAndReadNumber();
        if (inBatches)
            MergeAll();
        else
            PostRowByRow();
        transaction_->Commit();
        transaction_.reset();
        return summary_;
    }

    // The posting's transaction and its batch table, empty.
    void Begin()
    {
        staged_ = 0;
        fullBatch_.reset();
        transaction_.emplace(db_);
        sql_ = &StatementsFor(db_.Kind());
        db_.Execute(sql_->createBatch);
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

    void PostRowByRow()
    {
        const qsizetype total = movements_.size();
        for (qsizetype start = 0; start < total; start += kPostingBatchRows) {
            const qsizetype end = std::min(total, start + kPostingBatchRows);
            PostRows(start, end);
            if (end < total)
                Report(end);
        }
        Report(total);
    }

    // Checks and inserts punches [start, end) one by one.
    void PostRows(qsizetype start, qsizetype end)
    {
        for (qsizetype i = start; i < end; ++i) {
            const MoveRec& movement = movements_.at(i);
            if (IsDuplicateMovement(db_, movement.CardNb, movement.Date)) {
                ++summary_.skipped;
            } else if (!refused_.contains(i) && Insert(i)) {
                ++summary_.inserted;
            } else {
                ++summary_.failed;
                failedRows_.append(i);
            }
        }
    }

    // Inserts punch i; false when the server refused it.
    bool Insert(qsizetype i)
    {
        const MoveRec& movement = movements_.at(i);
        return Refusable(
            [&] { InsertRow(db_, clock_, movement.CardNb, movement.Date, PunchNumber(i)); },
            [&](const DatabaseError& error) {
                refused_.insert(i, error.Text());
                return true;
            });
    }

    // The punches from the first one not staged up to upTo go into the batch
    // table kPostingBatchRows at a time, with their place in the list as
    // Number (the table's highest Number is not known before the lock);
    // MergeAll then inserts the new ones among them. A batch the server
    // refuses is marked to go row by row.
    void StageUpTo(qsizetype upTo)
    {
        const qsizetype total = movements_.size();
        for (qsizetype start = staged_; start < upTo; start += kPostingBatchRows) {
            const qsizetype end = std::min(upTo, start + kPostingBatchRows);
            const auto stage = [&] {
                QVariantList values;
                values.reserve((end - start) * kStagedRowParameters);
                for (qsizetype i = start; i < end; ++i) {
                    const MoveRec& movement = movements_.at(i);
                    values << int(i + 1) << NewGuidText() << double(i + 1) << movement.CardNb
                           << movement.Date << movement.CardNb;
                }
                if (end - start < kPostingBatchRows) {
                    db_.Execute(StageStatement(*sql_, int(end - start)), values);
                    return;
                }
                if (!fullBatch_)
                    fullBatch_ = db_.Prepare(StageStatement(*sql_, kPostingBatchRows));
                fullBatch_->Execute(values);
            };
            if (!rowByRow_.contains(start))
                Refusable(stage, [&](const DatabaseError&) { return MarkRowByRow(start); });
            staged_ = end;
            if (end < total)
                Report(end);
        }
    }

    // Under the lock: the staged batches are merged in list order, all at
    // once where they can be; a batch marked row by row is checked and
    // inserted punch by punch at its place, after the punches before it.
    void MergeAll()
    {
        const qsizetype total = movements_.size();
        qsizetype unmerged = -1; // first staged punch not yet merged
        for (qsizetype start = 0; start < total; start += kPostingBatchRows) {
            const qsizetype end = std::min(total, start + kPostingBatchRows);
            if (!rowByRow_.contains(start)) {
                if (unmerged < 0)
                    unmerged = start;
                if (mergeEachBatch_) {
                    MergeStaged(unmerged, end);
                    unmerged = -1;
                }
            } else {
                // The checks must see the earlier punches.
                MergeStaged(unmerged, start);
                unmerged = -1;
                PostRows(start, end);
            }
        }
        MergeStaged(unmerged, total);
        Report(total);
    }

    // Inserts the new punches among the staged ones [start, end), whole
    // batches: all at once, else batch by batch, else row by row.
    void MergeStaged(qsizetype start, qsizetype end)
    {
        if (start < 0 || start >= end)
            return;
        const bool oneBatch = end - start <= kPostingBatchRows;
        if (Refusable([&] { Merge(start, end); },
                      [&](const DatabaseError&) {
                          if (oneBatch)
                              return MarkRowByRow(start);
                          const bool learnt = !mergeEachBatch_;
                          mergeEachBatch_ = true;
                          return learnt;
                      }))
            return;
        if (oneBatch) {
            PostRows(start, end);
            return;
        }
        for (qsizetype batch = start; batch < end; batch += kPostingBatchRows)
            MergeStaged(batch, std::min(end, batch + kPostingBatchRows));
    }

    void Merge(qsizetype start, qsizetype end)
    {
        const int first = int(start + 1);
        const int last = int(end);
        int inserted =
            db_.Execute(MergeStatement(*sql_), {base_, TodayText(clock_), first, last, first});
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
        return int(FirstRowNumber(
                       db_.Query(QStringLiteral("SELECT COUNT(*) AS Inserted FROM tsrHrMovement t "
                                                "WHERE EXISTS (SELECT 1 FROM %1 b WHERE b.ID = "
                                                "t.ID AND b.Ord BETWEEN ? AND ?)")
                                     .arg(sql_->batch),
                                 {first, last}),
                       QStringLiteral("Inserted"))
                       .value_or(0));
    }

    // Runs work and returns true; false when the server refused it and the
    // transaction goes on. learn(error) records what the refusal taught and
    // returns whether that was new. When the transaction has ended, the
    // attempt ends to start again, or the posting, if nothing new was learnt.
    template <typename Work, typename Learn> bool Refusable(const Work& work, const Learn& learn)
    {
        try {
            work();
            return true;
        } catch (const DatabaseError& error) {
            const bool learnt = learn(error);
            if (TransactionGoesOn())
                return false;
            if (learnt)
                throw Retry{};
            throw;
        }
    }

    // Whether the transaction survived a refused statement. The batch table
    // was made inside it, so it is gone when the transaction is.
    bool TransactionGoesOn()
    {
        try {
            return db_.Query(QStringLiteral("SELECT 1 FROM %1 WHERE 1 = 0").arg(sql_->batch))
                .has_value();
        } catch (const DatabaseError&) {
            return false;
        }
    }

    // Punch i's Number; the merge computes the same on the server.
    double PunchNumber(qsizetype i) const { return base_ + double(i + 1); }

    void Report(qsizetype done)
    {
        if (progress_ && *progress_)
            (*progress_)(done, movements_.size());
    }

    Database& db_;
    const MovementList& movements_;
    MessageSink& messages_;
    const Clock& clock_;
    const PostingProgress* progress_ = nullptr;         // set by Run
    const std::function<void()>* beforeLock_ = nullptr; // set by Run
    const PostingStatements* sql_ = nullptr;
    std::optional<Transaction> transaction_;
    qsizetype staged_ = 0; // punches staged in this transaction
    // Every batch but the last has kPostingBatchRows punches and reuses one
    // prepared statement, made afresh for each batch table.
    std::optional<Database::Prepared> fullBatch_;
    bool stagingEarly_ = true; // StageEarly may stage
    double base_ = 0;          // the table's highest Number plus one, in this attempt
    PostingSummary summary_;

    // Learnt from refusals that ended the transaction, kept across attempts.
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
    return FirstRowNumber(db.Query(QStringLiteral("SELECT ISNULL(COUNT(*),0) AS CountEmpNB FROM "
                                                  "tsrHrMovement WHERE Date =? AND CardNb =?"),
                                   {date, cardNb}),
                          QStringLiteral("CountEmpNB"))
               .value_or(0) > 0;
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

PostingSummary PostMovements(CConnServer record, const MovementList& movements, Database& db,
                             MessageSink& messages, const Clock& clock,
                             const PostingProgress& progress)
{
    return StagedPosting(record.ConnStr, movements, db, messages, clock).Post({}, progress);
}

PostingSummary PostMovementsPerRow(CConnServer record, const MovementList& movements, Database& db,
                                   MessageSink& messages, const Clock& clock,
                                   const PostingProgress& progress)
{
    if (!EnsureOpen(db, record.ConnStr))
        return {};
    return Posting(db, movements, messages, clock).Run(false, progress, {});
}

struct StagedPosting::Work {
    QString connStr;
    Database& db;
    Posting posting;
};

StagedPosting::StagedPosting(const QString& connStr, const MovementList& movements, Database& db,
                             MessageSink& messages, const Clock& clock)
    : work_(new Work{connStr, db, Posting(db, movements, messages, clock)})
{
}

StagedPosting::~StagedPosting() = default;

void StagedPosting::StageReady()
{
    // Only on the connection the run has open already: a download does not
    // wait for a server that cannot be reached.
    if (work_->db.IsOpen() && work_->db.ConnectionString() == work_->connStr)
        work_->posting.StageEarly();
}

PostingSummary StagedPosting::Post(const std::function<void()>& awaitTurn,
                                   const PostingProgress& progress)
{
    if (!EnsureOpen(work_->db, work_->connStr))
        return {};
    return work_->posting.Run(true, progress, awaitTurn);
}
