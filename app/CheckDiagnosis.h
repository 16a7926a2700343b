#pragma once

#include "terminal/TerminalProbe.h"

#include <QString>

// What a failed check step says about the set-up: the database driver's text
// sorted into the usual causes, and what a probe of a terminal address found
// (terminal/TerminalProbe.h). Each cause has a short text and a hint for the
// administrator.

// Why a database could not be opened, from the text of the driver (or of the
// ODBC driver manager, whose texts carry its SQLSTATE's meaning: IM002, IM003).
enum class DatabaseFault {
    QtDriverMissing,   // Qt's ODBC driver (QODBC) is not installed
    DriverNotMapped,   // the name "SQL Server" is in no odbcinst.ini that unixODBC reads
    DriverNotLoadable, // it is, but the library it names cannot be loaded
    DriverManager,     // another complaint of the driver manager
    ServerNotFound,    // the server's name does not resolve
    ServerUnreachable, // nothing answers at the server, or not within the login time-out
    LoginRefused,      // the server refused the user name or the password
    DatabaseMissing,   // no such database, or the login may not use it
    Other,
};

DatabaseFault ClassifyDatabaseFailure(const QString& driverText);
// True for the faults found before any server is asked: the driver set-up.
bool IsDriverFault(DatabaseFault fault);
// "login refused", "server unreachable", ...
QString DatabaseFaultText(DatabaseFault fault);
QString DatabaseFaultHint(DatabaseFault fault);

// "connection refused at 10.0.4.17:4370", ...
QString TerminalReachText(const TerminalProbe& probe, const QString& address, int port);
QString TerminalReachHint(TerminalReach reach);
