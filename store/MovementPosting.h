#pragma once

#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "store/Database.h"
#include "store/MovementList.h"
#include "store/Records.h"

#include <QString>

#include <functional>
#include <memory>

// Writing downloaded punches into the host suite's movement table
// tsrHrMovement: one new row per punch that the table does not hold yet
// (same Date and CardNb), numbered on from the table's highest Number.
//
// A posting is one transaction that takes the posting lock before it reads
// the highest Number, so two runs that overlap (a scheduled run and the pull
// button, two workstations) never both insert a punch or both use a number:
// the second waits for the first to commit. The lock wait is bounded by the
// database's LockWaitSeconds.

// What one posting did with the movement list.
struct PostingSummary {
    int inserted = 0;   // new rows
    int skipped = 0;    // punches the table already held
    int failed = 0;     // punches whose insert the server refused (message shown)
    int statements = 0; // statements sent to the server, the commit included

    // The same outcome for the punches; statements is a cost, not an outcome.
    bool operator==(const PostingSummary& other) const
    {
        return inserted == other.inserted && skipped == other.skipped && failed == other.failed;
    }
};

// Told how many of the punches are staged: as the posting begins when some
// were staged while they arrived, then after each batch. done == total: every
// punch is staged and they are being merged into the table, which ends the
// posting.
using PostingProgress = std::function<void(qint64 done, qint64 total)>;

// Punches per batch statement: 333 rows of 6 parameters stay within SQL
// Server's 2,100 parameters and 1,000 rows of VALUES per statement.
inline constexpr int kPostingBatchRows = 333;

// Posts movements through db, opened with the record's ConnStr (reused as it
// is when open with that string), and closes db at the end, also when it
// throws. The punches go to the server in batches of kPostingBatchRows; the
// server decides which are new. The table ends as a check and an insert per
// punch would leave it: the same rows, Numbers and duplicate decisions.
//
// A punch the table refuses (too long for its column, a constraint) is
// reported once through messages ("Database error: " and the driver's text)
// and every other punch is still posted. Throws DatabaseError, with nothing
// of this posting in the table, when the connection cannot be made, the table
// cannot be locked within the lock wait, the highest Number or a duplicate
// check cannot be read, or the connection is lost; the next run posts the
// punches then.
PostingSummary PostMovements(CConnServer record, const MovementList& movements, Database& db,
                             MessageSink& messages, const Clock& clock,
                             const PostingProgress& progress = {});

// A posting that begins while its movement list is still being filled: the
// download calls StageReady now and then, which stages the complete batches
// listed so far on db's connection, if it is open with connStr already, in
// the transaction that Post goes on with. Post then stages the rest, runs
// awaitTurn right before the table is locked (a parallel run waits there for
// its device's turn; the lock is held for the merge alone), and posts as
// PostMovements does, with the same outcome, failures included (a fault met
// while staging early is met again, and reported, by Post).
// Staging while the punches arrive leaves only the merge for after the
// download. Dropped without Post, nothing of it stays.
class StagedPosting {
public:
    StagedPosting(const QString& connStr, const MovementList& movements, Database& db,
                  MessageSink& messages, const Clock& clock);
    ~StagedPosting();
    StagedPosting(const StagedPosting&) = delete;
    StagedPosting& operator=(const StagedPosting&) = delete;

    void StageReady();
    PostingSummary Post(const std::function<void()>& awaitTurn = {},
                        const PostingProgress& progress = {});

private:
    struct Work;
    std::unique_ptr<Work> work_;
};
