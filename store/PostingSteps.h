#pragma once

#include "platform/Clock.h"
#include "store/Database.h"
#include "store/PostingStatements.h"

#include <QString>
#include <QStringList>

#include <optional>

// The single steps of a movement posting that the batch method, its row by
// row fall-back and the per-row reference of the tests share. Each throws
// DatabaseError when the server fails it.

// Takes the posting lock, waiting at most db.LockWaitSeconds(), and returns
// the table's highest Number plus one, read under the lock (1 for an empty
// table). A lock whose own wait ran out throws "stayed locked" with the
// server's reason; one refused otherwise (a deadlock victim) throws "not
// granted"; any other failure keeps the driver's text.
double LockAndReadNextNumber(Database& db, const PostingStatements& statements);

// Whether a row with this Date and CardNb exists, the server comparing.
bool IsDuplicateMovement(Database& db, const QString& cardNb, const QString& date);

// Inserts one movement row numbered number; CDate is the clock's local date.
void InsertMovementRow(Database& db, const Clock& clock, const QString& cardNb, const QString& date,
                       double number);

// Whether the posting's transaction survived a refused statement: the batch
// table was made inside it, so it is gone when the transaction is.
bool TransactionGoesOn(Database& db, const PostingStatements& statements);

// The values of the columns of a query's first row; nothing when there is
// none. A query that could not run throws.
std::optional<QVariantList> FirstRow(std::optional<QSqlQuery>& query, const QStringList& columns);

// The number in the column of a query's first row (0 when it is NULL);
// nothing when there is no row. A query that could not run throws.
std::optional<double> FirstRowNumber(std::optional<QSqlQuery> query, const QString& column);

// The clock's local date as the CDate of a posting.
QString PostingDayText(const Clock& clock);

// A new GUID as 38 characters: upper-case, in braces, groups 8-4-4-4-12.
QString NewGuidText();
