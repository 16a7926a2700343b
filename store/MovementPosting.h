#pragma once

#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "store/Database.h"
#include "store/Records.h"

#include <QString>

// Writing downloaded punches into the host suite's movement table
// tsrHrMovement: one new row per punch that the table does not hold yet
// (same Date and CardNb), numbered on from the table's highest Number.

// What one posting did with the movement list.
struct PostingSummary {
    int inserted = 0; // new rows
    int skipped = 0;  // punches the table already held
    int failed = 0;   // punches whose insert the server refused (message shown)

    bool operator==(const PostingSummary&) const = default;
};

// Posts movements through db, opened with the record's ConnStr (reused as it
// is when open with that string), and closes db at the end. A punch that fails
// is reported through messages and the posting goes on with the next one.
// Throws DatabaseError when the connection cannot be made; nothing is posted then.
PostingSummary PostMovements(CConnServer record, const MoveRecList& movements, Database& db,
                             MessageSink& messages, const Clock& clock);

// The table's highest Number plus one: 1 for an empty table, 0 when the
// maximum cannot be read (message shown).
double NextMovementNumber(Database& db, MessageSink& messages);

// Whether a row with this Date and CardNb exists. A check that fails (message
// shown) counts as "not present".
bool IsDuplicateMovement(Database& db, MessageSink& messages, const QString& cardNb,
                         const QString& date);

// Inserts one movement row numbered number; CDate is the clock's local date.
// code2 is accepted and not posted: the suite's Direction column takes -1 for
// every punch, and the parameter keeps the punch's code at hand should a site
// ever map it. False when the server refused the row (message shown).
bool InsertMovement(Database& db, MessageSink& messages, const Clock& clock, const QString& cardNb,
                    const QString& date, const QString& code2, double number);

// A new GUID as 38 characters: upper-case, in braces, groups 8-4-4-4-12.
QString NewGuidText();
