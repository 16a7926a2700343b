#pragma once

#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "store/Database.h"
#include "store/MovementList.h"
#include "store/MovementPosting.h"
#include "store/Records.h"

// The posting the way the program first made it, a duplicate check and an
// insert per punch, in one transaction under the same posting lock: the
// reference the batch posting is compared with, and the floor it is measured
// against. Same outcome rules: a refused punch is reported once and the rest
// posted (a refusal that ends the transaction starts it again, knowing that
// punch); any other failure throws with nothing posted. Closes db at the end.
PostingSummary PostMovementsPerRow(CConnServer record, const MovementList& movements, Database& db,
                                   MessageSink& messages, const Clock& clock,
                                   const PostingProgress& progress = {});

// The table's highest Number plus one (1 for an empty table), without a lock.
double NextMovementNumber(Database& db);
