#include "store/PostingSteps.h"

#include "platform/DateTexts.h"
#include "resources/FaultTexts.h"
#include "store/SqlValues.h"

#include <QUuid>

#include <algorithm>

namespace {

// A lock that reports its own time-out ends the wait itself; the statement's
// time-out, this much later, only bounds a server that stops answering.
constexpr int kLockStatementSlackSeconds = 5;

// What taking the lock found: why it was not granted (and whether the wait
// ran out), or the highest Number when the lock statement reads it too.
struct LockResult {
    std::optional<QString> refusal;
    bool timedOut = false;
    std::optional<double> highest;
};

LockResult TakeLock(Database& db, const PostingStatements& statements, int wait)
{
    const int statementWait = wait > 0 ? wait + kLockStatementSlackSeconds : 0;
    if (!statements.lockReportsResult) {
        try {
            db.ExecuteDirect(statements.lock.arg(std::max(wait, 0) * 1000), statementWait);
        } catch (const DatabaseError& error) {
            // Only the lock's own time-out says that another connection held
            // it; any other failure (a lost connection, a cancel) is its own.
            if (error.State() != statements.lockTimedOut)
                throw;
            return {error.Text(), true, std::nullopt};
        }
        return {};
    }
    std::optional<QSqlQuery> query =
        db.Query(statements.lock, {wait > 0 ? wait * 1000 : -1}, statementWait);
    const std::optional<QVariantList> row =
        FirstRow(query, {QStringLiteral("Result"), QStringLiteral("Number")});
    const double result = row ? NumberOf(row->at(0)).value_or(-999) : -999;
    if (result >= 0)
        return {std::nullopt, false, row ? NumberOf(row->at(1)).value_or(0) : 0};
    const char* reason = result == -1   ? "timeout"
                         : result == -2 ? "cancelled"
                         : result == -3 ? "chosen as deadlock victim"
                                        : "call refused";
    return {QStringLiteral("sp_getapplock returned %1 (%2)").arg(result).arg(QLatin1String(reason)),
            result == -1, std::nullopt};
}

} // namespace

double LockAndReadNextNumber(Database& db, const PostingStatements& statements)
{
    const int wait = db.LockWaitSeconds();
    LockResult lock = TakeLock(db, statements, wait);
    if (lock.refusal)
        throw DatabaseError((lock.timedOut ? faulttext::kMovementTableLocked.arg(wait)
                                           : faulttext::kPostingLockRefused) +
                            *lock.refusal);
    if (!lock.highest)
        lock.highest = FirstRowNumber(db.Query(statements.maxNumber), QStringLiteral("Number"));
    return lock.highest.value_or(0) + 1;
}

bool IsDuplicateMovement(Database& db, const QString& cardNb, const QString& date)
{
    return FirstRowNumber(db.Query(kDuplicateCheckStatement, {date, cardNb}),
                          QStringLiteral("CountEmpNB"))
               .value_or(0) > 0;
}

void InsertMovementRow(Database& db, const Clock& clock, const QString& cardNb, const QString& date,
                       double number)
{
    db.Execute(kInsertMovementStatement,
               {NewGuidText(), number, cardNb, date, PostingDayText(clock)});
}

bool TransactionGoesOn(Database& db, const PostingStatements& statements)
{
    try {
        return db.Query(BatchProbeStatement(statements)).has_value();
    } catch (const DatabaseError&) {
        return false;
    }
}

std::optional<QVariantList> FirstRow(std::optional<QSqlQuery>& query, const QStringList& columns)
{
    if (!query)
        throw DatabaseError(faulttext::kQueryFailed);
    if (!NextRow(*query))
        return std::nullopt;
    QVariantList row;
    for (const QString& column : columns)
        row << query->value(column);
    // The rest of the answer is read rather than cancelled when the query
    // goes: a cancel costs a request and its wait (FreeTDS).
    while (NextRow(*query)) {
    }
    while (query->nextResult()) {
    }
    return row;
}

std::optional<double> FirstRowNumber(std::optional<QSqlQuery> query, const QString& column)
{
    const std::optional<QVariantList> row = FirstRow(query, {column});
    if (!row)
        return std::nullopt;
    return NumberOf(row->first()).value_or(0);
}

QString PostingDayText(const Clock& clock)
{
    const QDate now = clock.now().date();
    return YearMonthDayText(now.year(), now.month(), now.day());
}

QString NewGuidText()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}
