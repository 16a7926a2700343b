#pragma once

#include "store/Records.h"

#include <cstdio>

// Sets the clock of a device's terminal from this host's and reads it back,
// reached the way a run reaches it (device row, stored link key). Prints one
// line on out; returns 0 when the terminal keeps the time it was given, 1
// otherwise.
int SetDeviceClock(const CConnServer& device, int deviceTimeoutSeconds, FILE* out);
