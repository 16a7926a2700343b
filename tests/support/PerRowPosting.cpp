#include "PerRowPosting.h"

#include "resources/FaultTexts.h"
#include "store/PostingStatements.h"
#include "store/PostingSteps.h"
#include "store/Transaction.h"

#include <QHash>

namespace {

// One try in a transaction of its own; false when a refused insert ended the
// transaction (the punch is then in refused, and the next try skips it).
bool TryPerRow(Database& db, const MovementList& movements, const Clock& clock,
               const PostingProgress& progress, QHash<qsizetype, QString>& refused,
               PostingSummary& summary, QList<qsizetype>& refusedRows)
{
    const PostingStatements& sql = StatementsFor(db.Kind());
    Transaction transaction(db);
    // The batch table is used only to tell whether the transaction survived.
    db.ExecuteDirect(sql.createBatch);
    const double base = LockAndReadNextNumber(db, sql);
    summary = {};
    refusedRows.clear();
    const qsizetype total = movements.size();
    for (qsizetype i = 0; i < total; ++i) {
        const MoveRec movement = movements.at(i);
        if (IsDuplicateMovement(db, movement.CardNb, movement.Date)) {
            ++summary.skipped;
        } else if (refused.contains(i)) {
            ++summary.failed;
            refusedRows << i;
        } else {
            try {
                InsertMovementRow(db, clock, movement.CardNb, movement.Date, base + double(i + 1));
                ++summary.inserted;
            } catch (const DatabaseError& error) {
                refused.insert(i, error.Text());
                if (!TransactionGoesOn(db, sql))
                    return false;
                ++summary.failed;
                refusedRows << i;
            }
        }
        if (progress && ((i + 1) % kPostingBatchRows == 0 || i + 1 == total))
            progress(i + 1, total);
    }
    transaction.Commit();
    return true;
}

} // namespace

PostingSummary PostMovementsPerRow(CConnServer record, const MovementList& movements, Database& db,
                                   MessageSink& messages, const Clock& clock,
                                   const PostingProgress& progress)
{
    if (movements.isEmpty() || !EnsureOpen(db, record.ConnStr)) {
        db.Close();
        return {};
    }
    const qint64 before = db.StatementsSent();
    QHash<qsizetype, QString> refused;
    PostingSummary summary;
    QList<qsizetype> refusedRows;
    try {
        while (!TryPerRow(db, movements, clock, progress, refused, summary, refusedRows)) {
        }
    } catch (...) {
        db.Close();
        throw;
    }
    db.Close();
    for (const qsizetype index : std::as_const(refusedRows))
        messages.Show(faulttext::kDatabaseError + refused.value(index));
    summary.statements = int(db.StatementsSent() - before);
    return summary;
}

double NextMovementNumber(Database& db)
{
    return FirstRowNumber(db.Query(StatementsFor(db.Kind()).maxNumber), QStringLiteral("Number"))
               .value_or(0) +
           1;
}
