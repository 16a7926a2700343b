#pragma once

#include "store/Database.h"

#include <QString>

// Every statement text of a movement posting, in one place: those that depend
// on the server's kind, the batch statements, and the per-punch check and
// insert. docs/posting.md explains the choices.
struct PostingStatements {
    // Takes the posting lock until the transaction ends. With lockReportsResult
    // it is a query whose first parameter is the wait in milliseconds (-1: no
    // limit), whose column Result is negative when the lock was not granted
    // (-1: the wait ran out), and whose column Number is the highest Number,
    // read once the lock was granted; otherwise a statement without
    // parameters, the wait in milliseconds in place of %1 (0: no limit),
    // that waits for the lock or fails with SQLSTATE lockTimedOut.
    QString lock;
    bool lockReportsResult = false;
    QString lockTimedOut;
    // The highest Number (column Number), read under the lock.
    QString maxNumber;
    // Creates the batch table; columns Ord, ID, Number, CardNb, Date, Stored.
    // It has no parameters and always runs by direct execution: SQL Server drops
    // a temporary table made inside a prepared statement when that returns.
    QString createBatch;
    // The batch table's name in statements.
    QString batch;
};

// The statements for a server kind; any kind but PostgreSQL gets SQL Server's.
const PostingStatements& StatementsFor(ServerKind kind);

// Parameters per staged row: Ord, ID, Number, CardNb, Date and CardNb again
// for Stored.
inline constexpr int kStagedRowParameters = 6;

// INSERT of rows rows into the batch table: rows * kStagedRowParameters parameters.
QString StageStatement(const PostingStatements& statements, int rows);

// INSERT ... SELECT of the staged rows with Ord from the third to the fourth
// parameter that neither the movement table nor an earlier staged row (Ord at
// least the fifth parameter) holds. The first parameter is added to the staged
// Number, the second is CDate.
QString MergeStatement(const PostingStatements& statements);

// How many staged rows with Ord between the two parameters are in the movement
// table (column Inserted): their IDs are new, so these are rows just merged.
QString CountStagedStatement(const PostingStatements& statements);

// A query that fails unless the batch table exists: it is made inside the
// posting's transaction, so it is gone when that transaction is.
QString BatchProbeStatement(const PostingStatements& statements);

// Whether a row with the Date (first parameter) and CardNb (second) exists:
// column CountEmpNB.
extern const QString kDuplicateCheckStatement;

// One movement row: ID, Number, CardNb, Date, CDate as parameters; the other
// columns take the values every posted punch gets.
extern const QString kInsertMovementStatement;
