#pragma once

#include "store/Database.h"

#include <QString>

// The statements of a movement posting that depend on the server's kind, and
// the two batch statements. docs/posting.md explains the choices.
struct PostingStatements {
    // Locks tsrHrMovement against other writers until the transaction ends;
    // empty when maxNumber takes the lock itself.
    QString lock;
    // The highest Number, read after (or while) taking the lock.
    QString maxNumber;
    // Creates the batch table; columns Ord, ID, Number, CardNb, Date, Stored.
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

// INSERT ... SELECT of the staged rows with Ord from the second to the third
// parameter that neither the movement table nor an earlier staged row (Ord at
// least the fourth parameter) holds. The first parameter is CDate.
QString MergeStatement(const PostingStatements& statements);
