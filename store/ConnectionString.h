#pragma once

#include "store/Records.h"

#include <QString>

// The ODBC connection string of a device record:
// DRIVER={SQL Server};SERVER=...;UID=...;PWD=...;DATABASE=... (the record's
// driver name, DriverName, in the braces)
// Values that the driver would otherwise split or trim (";", "{", "}", a
// leading or trailing blank) are enclosed in braces with "}" doubled; the
// password always is, because some drivers decode "%" and "+" in a bare one.
// The record's DriverOptions follow as they stand, after a ";".
QString BuildConnStr(const CConnServer& record);

// value as an ODBC attribute value: unchanged, or braced when it has to be
// (or always is).
QString OdbcAttributeValue(const QString& value, bool alwaysBraced = false);
