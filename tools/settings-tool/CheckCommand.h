#pragma once

#include "store/Records.h"

#include <QStringList>

#include <cstdio>

struct DeviceCheckResult;

// The report of one device's check: one line per step ("Gate1: device row: ok,
// ..."), then the device's verdict.
QStringList CheckReportLines(const DeviceCheckResult& result);

// Checks the devices one after the other (see app/DeviceCheck.h), printing
// each device's report on out as soon as it is done, then a summary line.
// Returns 0 when every device passed, 1 otherwise.
int CheckDevices(const CConnServerList& devices, int deviceTimeoutSeconds, FILE* out);
