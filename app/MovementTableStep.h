#pragma once

#include "app/CheckSteps.h"
#include "store/MovementTableCost.h"

// Above this many rows, a movement table without an index for the duplicate
// check makes the check warn: every device's posting reads it whole.
inline constexpr qint64 kLargeMovementTableRows = 1000000;

// The device check's step for the movement table: its rows, whether an index
// serves the duplicate check, and what one check took; a warning for a large
// table without one, with the statement a database administrator could run;
// a failure when the table cannot be read at all (a run could not post).
StepResult MovementTableStep(const MovementTableCost& cost);
