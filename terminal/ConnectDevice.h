#pragma once

#include "store/Records.h"
#include "terminal/TransferContext.h"

// Connects to the device's terminal with up to three attempts, or closes the
// link when one is open. Reports "1" (no address or port), "2" before each
// attempt, "3" when connected, "4" when every attempt failed. True when a link
// was opened or closed.
bool ConnectDevice(CConnServer& record, TransferContext& ctx);

// The link key stored for a device: its integer value, 0 when the text is
// empty or not a number.
int LinkKeyOf(const QString& ipKey);
