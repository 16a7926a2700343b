#pragma once

#include "store/Database.h"

#include <QString>

#include <optional>

// What the movement table costs a posting. Each device's posting checks its
// punches against the whole table by Date and CardNb; an index whose first
// column is one of the two lets the server look them up, and without one it
// reads the whole table once per device. The table and its indexes are the
// host suite's: this only looks.
struct MovementTableCost {
    std::optional<qint64> rows; // nothing when the table could not be counted
    // Whether an index serves the duplicate check, and its name; nothing when
    // the server's catalog could not be read.
    std::optional<bool> indexed;
    QString indexName;
    // What one duplicate check took: a whole-table read without an index.
    std::optional<double> checkSeconds;
    QString problem; // the first query that failed, with the driver's text
};

// Counts the table, looks for an index that serves the duplicate check in the
// catalog of the server's kind, and times one duplicate check. Reads only;
// a query that fails leaves its part unknown (and says so in problem).
MovementTableCost MeasureMovementTableCost(Database& db);

// The statement a database administrator could run for the index.
extern const QString kMovementIndexStatement;
