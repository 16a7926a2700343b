#pragma once

#include "store/Records.h"

// The ODBC connection string of a device record.
QString BuildConnStr(const CConnServer& record);
