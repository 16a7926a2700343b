#pragma once

#include <QString>
#include <QVariant>

#include <optional>

// Typed reads of query values that do not depend on the driver's choice of
// numeric type: drivers return MAX of a float column as double or decimal and
// COUNT(*) as a 32- or 64-bit integer, and Qt's ODBC driver hands some numeric
// columns over as text (single-precision float, decimals under high precision).

// The value of a column of any numeric type, also when delivered as the text
// of a number; nullopt for null and anything else.
std::optional<double> NumberOf(const QVariant& value);

// A column read as text, as the device queries read IP, Port and IPKey: the
// empty text for null.
QString TextOf(const QVariant& value);
