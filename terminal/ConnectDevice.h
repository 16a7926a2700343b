#pragma once

#include "store/TerminalAddress.h"
#include "terminal/TransferContext.h"

// Connects to a device's terminal with up to three attempts, with the link key
// of its address. Reports "1" (no address or port), "2" before each attempt,
// "3" when connected, "4" when every attempt failed. True when the link is
// open. Closing an open link is the caller's (the connect button toggles).
bool ConnectDevice(const TerminalAddress& address, TransferContext& ctx);

// The same with the address read from the record's texts.
inline bool ConnectDevice(const CConnServer& record, TransferContext& ctx)
{
    return ConnectDevice(TerminalAddressOf(record), ctx);
}
