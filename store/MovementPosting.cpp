#include "store/MovementPosting.h"

#include "resources/FaultTexts.h"
#include "store/PostingStatements.h"
#include "store/PostingSteps.h"
#include "store/Transaction.h"

#include <QHash>
#include <QSet>

#include <algorithm>

// A posting is one transaction: batch table, the batches staged, the posting
// lock, the highest Number, the merge, commit. A statement takes effect
// entirely or not at all, so a statement the server refuses changed nothing.
// What happens next depends on whether the transaction goes on:
//
// - It goes on (SQL Server ends only the statement for the errors a punch
//   causes; psqlODBC rolls back to a savepoint it takes before every
//   statement): the posting carries on at once. A refused batch goes row by
//   row, a refused merge of several batches goes batch by batch, a refused
//   punch is counted and reported.
// - It has ended (the batch table, made inside it, is gone): the attempt ends
//   and a fresh one starts from the beginning, knowing which batch to take row
//   by row, that batches merge one by one, or which punch is refused (counted
//   and reported, not tried again). Rolling back undoes everything else, so
//   each starts from the table as it was. Each new attempt must know something
//   more, so they would end; they are bounded all the same (kMaxAttempts),
//   since each one stages every punch again: past the bound the posting fails
//   with the last refusal, and nothing of it is in the table.
//
// Savepoints of our own would cost a statement each, and psqlODBC's own
// savepoints release them. A failure that is no refusal (the lock, the highest
// Number, a duplicate check, the commit, a lost connection) ends the posting
// with nothing of it in the table.

namespace {

static_assert(kPostingBatchRows * kStagedRowParameters < 2100 && kPostingBatchRows <= 1000,
              "a batch statement stays within SQL Server's limits");

// Attempts of one posting at most. A server that ends the transaction on a
// refused punch costs an attempt for each refused batch and punch; a posting
// that meets more is given up rather than staged again and again.
constexpr int kMaxAttempts = 64;

// What the attempts of one posting learnt from refusals that ended their
// transaction, carried from each attempt to the next.
struct Lessons {
    bool mergeEachBatch = false;
    QSet<qsizetype> rowByRow;          // batches, by their first punch
    QHash<qsizetype, QString> refused; // punch -> the driver's text
    QString lastRestart;               // the refusal that ended the last attempt
};

// Whether an attempt goes on or has to start again with what it learnt.
enum class Flow { Continue, Restart };

// How a step that the server may refuse ended.
enum class Step {
    Done,    // it took effect
    Refused, // refused; the transaction goes on
    Restart, // refused, the transaction ended, and something new was learnt
};

// One attempt at a posting, in a transaction of its own. The constructor
// begins it and makes the batch table; the destructor rolls back what was
// not committed.
class Attempt {
public:
    Attempt(Database& db, const MovementList& movements, const Clock& clock, Lessons& lessons)
        : db_(db), movements_(movements), clock_(clock), lessons_(lessons),
          sql_(StatementsFor(db.Kind())), transaction_(db)
    {
        db_.ExecuteDirect(sql_.createBatch);
    }

    qsizetype Staged() const { return staged_; }
    const PostingSummary& Summary() const { return summary_; }
    // The punches refused in this attempt, in order.
    const QList<qsizetype>& RefusedRows() const { return refusedRows_; }

    // The punches from the first one not staged up to upTo go into the batch
    // table kPostingBatchRows at a time, with their place in the list as
    // Number (the table's highest Number is not known before the lock);
    // the merge then inserts the new ones among them. A batch the server
    // refuses is marked to go row by row.
    Flow StageUpTo(qsizetype upTo, const PostingProgress& progress)
    {
        for (qsizetype start = staged_; start < upTo; start += kPostingBatchRows) {
            const qsizetype end = std::min(upTo, start + kPostingBatchRows);
            if (!lessons_.rowByRow.contains(start) && Refusable([&] { Stage(start, end); },
                                                                [&](const DatabaseError&) {
                                                                    return MarkRowByRow(start);
                                                                }) == Step::Restart)
                return Flow::Restart;
            staged_ = end;
            Report(progress, end);
        }
        return Flow::Continue;
    }

    // Stages the rest, runs awaitTurn, takes the lock, merges and commits.
    Flow Finish(const std::function<void()>& awaitTurn, const PostingProgress& progress)
    {
        if (staged_ > 0)
            Report(progress, staged_); // what was staged while the punches arrived
        if (StageUpTo(movements_.size(), progress) == Flow::Restart)
            return Flow::Restart;
        if (awaitTurn)
            awaitTurn();
        base_ = LockAndReadNextNumber(db_, sql_);
        if (MergeAll() == Flow::Restart)
            return Flow::Restart;
        transaction_.Commit();
        return Flow::Continue;
    }

private:
    void Stage(qsizetype start, qsizetype end)
    {
        QVariantList values;
        values.reserve((end - start) * kStagedRowParameters);
        for (qsizetype i = start; i < end; ++i) {
            const MoveRec movement = movements_.at(i);
            values << int(i + 1) << NewGuidText() << double(i + 1) << movement.CardNb
                   << movement.Date << movement.CardNb;
        }
        if (end - start < kPostingBatchRows) {
            db_.Execute(StageStatement(sql_, int(end - start)), values);
            return;
        }
        // Every batch but the last is full and reuses one prepared statement.
        if (!fullBatch_)
            fullBatch_ = db_.Prepare(StageStatement(sql_, kPostingBatchRows));
        try {
            fullBatch_->Execute(values);
        } catch (const DatabaseError&) {
            // A statement that failed may hold the connection (FreeTDS then
            // answers the next one with "Invalid cursor state"): made anew.
            fullBatch_.reset();
            throw;
        }
    }

    // Under the lock: the staged batches are merged in list order, all at
    // once where they can be; a batch marked row by row is checked and
    // inserted punch by punch at its place, after the punches before it.
    Flow MergeAll()
    {
        const qsizetype total = movements_.size();
        qsizetype unmerged = -1; // first staged punch not yet merged
        for (qsizetype start = 0; start < total; start += kPostingBatchRows) {
            const qsizetype end = std::min(total, start + kPostingBatchRows);
            if (!lessons_.rowByRow.contains(start)) {
                if (unmerged < 0)
                    unmerged = start;
                if (!lessons_.mergeEachBatch)
                    continue;
                if (MergeStaged(unmerged, end) == Flow::Restart)
                    return Flow::Restart;
            } else if (MergeStaged(unmerged, start) == Flow::Restart ||
                       PostRows(start, end) == Flow::Restart) {
                // The checks of the row by row batch must see the punches before it.
                return Flow::Restart;
            }
            unmerged = -1;
        }
        return MergeStaged(unmerged, total);
    }

    // Inserts the new punches among the staged ones [start, end), whole
    // batches: all at once, else batch by batch, else row by row.
    Flow MergeStaged(qsizetype start, qsizetype end)
    {
        if (start < 0 || start >= end)
            return Flow::Continue;
        const bool oneBatch = end - start <= kPostingBatchRows;
        const Step merged = Refusable([&] { Merge(start, end); },
                                      [&](const DatabaseError&) {
                                          if (oneBatch)
                                              return MarkRowByRow(start);
                                          const bool learnt = !lessons_.mergeEachBatch;
                                          lessons_.mergeEachBatch = true;
                                          return learnt;
                                      });
        if (merged != Step::Refused)
            return merged == Step::Restart ? Flow::Restart : Flow::Continue;
        if (oneBatch)
            return PostRows(start, end);
        for (qsizetype batch = start; batch < end; batch += kPostingBatchRows)
            if (MergeStaged(batch, std::min(end, batch + kPostingBatchRows)) == Flow::Restart)
                return Flow::Restart;
        return Flow::Continue;
    }

    void Merge(qsizetype start, qsizetype end)
    {
        const int first = int(start + 1);
        const int last = int(end);
        int inserted =
            db_.Execute(MergeStatement(sql_), {base_, PostingDayText(clock_), first, last, first});
        if (inserted < 0)
            inserted = int(FirstRowNumber(db_.Query(CountStagedStatement(sql_), {first, last}),
                                          QStringLiteral("Inserted"))
                               .value_or(0));
        summary_.inserted += inserted;
        summary_.skipped += int(end - start) - inserted;
    }

    // Checks and inserts punches [start, end) one by one.
    Flow PostRows(qsizetype start, qsizetype end)
    {
        for (qsizetype i = start; i < end; ++i) {
            const MoveRec movement = movements_.at(i);
            if (IsDuplicateMovement(db_, movement.CardNb, movement.Date)) {
                ++summary_.skipped;
                continue;
            }
            if (!lessons_.refused.contains(i)) {
                const Step inserted = Refusable(
                    [&] {
                        InsertMovementRow(db_, clock_, movement.CardNb, movement.Date,
                                          base_ + double(i + 1));
                    },
                    [&](const DatabaseError& error) {
                        lessons_.refused.insert(i, error.Text());
                        return true;
                    });
                if (inserted == Step::Restart)
                    return Flow::Restart;
                if (inserted == Step::Done) {
                    ++summary_.inserted;
                    continue;
                }
            }
            ++summary_.failed;
            refusedRows_.append(i);
        }
        return Flow::Continue;
    }

    bool MarkRowByRow(qsizetype start)
    {
        if (lessons_.rowByRow.contains(start))
            return false;
        lessons_.rowByRow.insert(start);
        return true;
    }

    // Runs work. When the server refuses it, learn(error) records what the
    // refusal taught and returns whether that was new; a refusal that ended
    // the transaction and taught nothing new fails the posting.
    template <typename Work, typename Learn> Step Refusable(const Work& work, const Learn& learn)
    {
        try {
            work();
            return Step::Done;
        } catch (const DatabaseError& error) {
            const bool learnt = learn(error);
            if (TransactionGoesOn(db_, sql_))
                return Step::Refused;
            if (!learnt)
                throw;
            lessons_.lastRestart = error.Text();
            return Step::Restart;
        }
    }

    void Report(const PostingProgress& progress, qsizetype done) const
    {
        if (progress)
            progress(done, movements_.size());
    }

    Database& db_;
    const MovementList& movements_;
    const Clock& clock_;
    Lessons& lessons_;
    const PostingStatements& sql_;
    Transaction transaction_;
    qsizetype staged_ = 0;
    std::optional<Database::Prepared> fullBatch_;
    // The table's highest Number plus one, read under the lock. Punch i gets
    // base_ + i + 1, so the first gets the highest plus two; every punch uses
    // up a number, whether it is inserted, skipped or refused.
    double base_ = 0;
    PostingSummary summary_;
    QList<qsizetype> refusedRows_;
};

} // namespace

struct StagedPosting::Work {
    QString connStr;
    Database& db;
    const MovementList& movements;
    MessageSink& messages;
    const Clock& clock;
    Lessons lessons;
    std::unique_ptr<Attempt> early; // the attempt staging while the list grows
    bool stagingEarly = true;

    // Attempts until one commits; each after the first starts afresh with
    // what the earlier ones learnt. db is closed at the end, also on failure:
    // a connection that failed is not reused for the next device.
    PostingSummary Run(const std::function<void()>& awaitTurn, const PostingProgress& progress)
    {
        const qint64 before = db.StatementsSent();
        std::unique_ptr<Attempt> attempt = std::move(early);
        PostingSummary summary;
        try {
            for (int attempts = 1;; ++attempts, attempt.reset()) {
                if (!attempt)
                    attempt = std::make_unique<Attempt>(db, movements, clock, lessons);
                if (attempt->Finish(awaitTurn, progress) == Flow::Continue)
                    break;
                if (attempts == kMaxAttempts)
                    throw DatabaseError(faulttext::kPostingGivenUp.arg(attempts) +
                                        lessons.lastRestart);
            }
        } catch (...) {
            attempt.reset();
            db.Close();
            throw;
        }
        summary = attempt->Summary();
        for (const qsizetype index : attempt->RefusedRows())
            messages.Show(faulttext::kDatabaseError + lessons.refused.value(index));
        attempt.reset();
        db.Close();
        summary.statements = int(db.StatementsSent() - before);
        return summary;
    }
};

PostingSummary PostMovements(CConnServer record, const MovementList& movements, Database& db,
                             MessageSink& messages, const Clock& clock,
                             const PostingProgress& progress)
{
    return StagedPosting(record.ConnStr, movements, db, messages, clock).Post({}, progress);
}

StagedPosting::StagedPosting(const QString& connStr, const MovementList& movements, Database& db,
                             MessageSink& messages, const Clock& clock)
    : work_(new Work{connStr, db, movements, messages, clock, {}, {}, true})
{
}

StagedPosting::~StagedPosting() = default;

void StagedPosting::StageReady()
{
    Work& work = *work_;
    // Only on the connection the run has open already: a download does not
    // wait for a server that cannot be reached.
    if (!work.stagingEarly || !work.db.IsOpen() || work.db.ConnectionString() != work.connStr)
        return;
    const qsizetype ready = work.movements.size() - work.movements.size() % kPostingBatchRows;
    if (ready <= (work.early ? work.early->Staged() : 0))
        return;
    // Staging early only saves time: whatever goes wrong here is left to
    // Post, which then stages every punch itself and meets and reports the
    // fault.
    try {
        if (!work.early)
            work.early =
                std::make_unique<Attempt>(work.db, work.movements, work.clock, work.lessons);
        if (work.early->StageUpTo(ready, {}) == Flow::Continue)
            return;
    } catch (const DatabaseError&) {
    }
    work.stagingEarly = false;
    work.early.reset();
    // A batch marked here may only have met the connection's end: Post
    // stages every batch afresh and learns what it meets itself.
    work.lessons = Lessons();
    // Post opens a new connection should this one have failed.
    work.db.Close();
}

PostingSummary StagedPosting::Post(const std::function<void()>& awaitTurn,
                                   const PostingProgress& progress)
{
    Work& work = *work_;
    work.stagingEarly = false;
    // Nothing to post: no transaction, and no lock for others to wait on.
    if (work.movements.isEmpty() || !EnsureOpen(work.db, work.connStr)) {
        // A list emptied after early staging (a cancelled pull) drops what
        // was staged, before its connection goes.
        work.early.reset();
        work.db.Close();
        return {};
    }
    return work.Run(awaitTurn, progress);
}
