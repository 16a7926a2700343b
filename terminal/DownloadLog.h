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
// ctx.download on every call. With ctx.lookOnly it only counts: no export
// file, nothing queued, the terminal never disabled, no progress code.
bool DownloadLog(const CConnServer& record, const DownloadRange& range, MovementList& movements,
                 TransferContext& ctx);
