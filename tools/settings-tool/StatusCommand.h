#pragma once

#include "store/Records.h"

#include <QStringList>

#include <cstdio>

class RegistryStore;

// zelvor-settings status: per device of config.ini, in run order, what its
// last all-devices run did and when it last succeeded, then the timer's next
// run; as text, or with --format json as one JSON document. Reads only.
//
// Returns 0 when every device's last run succeeded, 1 otherwise (a device
// failed or has no record).
int PrintStatus(const CConnServerList& devices, bool json, const RegistryStore& registry,
                FILE* out);

// The format that the arguments after "status" ask for, "text" (the default)
// or "json"; empty, after saying why on standard error, for wrong usage.
QString StatusFormat(const QStringList& args);
