#pragma once

#include <QString>

#include <optional>

// What the ODBC driver manager has registered under a driver name, for
// diagnoses: the driver's library and, for FreeTDS, its version as the
// library names it ("1.3.17").
struct OdbcDriverInfo {
    QString library;
    QString freeTdsVersion; // empty for other drivers
};

// The driver registered under name; nothing when no such name is registered.
std::optional<OdbcDriverInfo> FindOdbcDriver(const QString& name = QStringLiteral("SQL Server"));

// FreeTDS before 1.4 doubles a '}' of the password, so a login with one fails.
bool DoublesClosingBraces(const OdbcDriverInfo& driver);
