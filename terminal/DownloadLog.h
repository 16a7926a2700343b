#pragma once

#include "store/MovementList.h"
#include "store/Records.h"
#include "terminal/TransferContext.h"

// Downloads the terminal's punch log over the open link: keeps the punches
// whose day lies in the range, writes their export lines and queues one
// movement each (movements is emptied first). Reports "5" without a link and
// "7" when the log was read to its end. False when there is no link, the
// terminal refused its log, the log broke off, or ctx.onPunches cancelled it;
// then nothing is queued, the export file keeps its previous content (and none
// appears where there was none), and the terminal is enabled again. Fills
// ctx.download on every call. An export file that cannot be written is said
// (the notification, ctx.download.exportProblem) and leaves out "7" and its
// success text; the punches are queued all the same. With ExportMode::Try the
// lines are written aside and dropped (nothing of the day's file changes),
// and every request to the terminal is the same.
bool DownloadLog(const CConnServer& record, const DownloadRange& range, MovementList& movements,
                 TransferContext& ctx);
