#pragma once

#include "store/OdbcDriver.h"
#include "store/Records.h"
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
    DriverNotMapped,   // the driver's name is in no odbcinst.ini that unixODBC reads
    DriverNotLoadable, // it is, but the library it names cannot be loaded
    DriverManager,     // another complaint of the driver manager
    ServerNotFound,    // the server's name does not resolve
    ServerUnreachable, // nothing answers at the server, or not within the login time-out
    LoginRefused,      // the server refused the user name or the password
    DatabaseMissing,   // no such database, or the login may not use it
    Other,
};

// driver: the name the connection asked the driver manager for.
DatabaseFault ClassifyDatabaseFailure(const QString& driverText,
                                      const QString& driver = QStringLiteral("SQL Server"));
// True for the faults found before any server is asked: the driver set-up.
bool IsDriverFault(DatabaseFault fault);
// "login refused", "server unreachable", ...
QString DatabaseFaultText(DatabaseFault fault);
QString DatabaseFaultHint(DatabaseFault fault, const QString& driver);

// Where a login to the record's server goes, as the driver reads the
// settings: "host hr-db, port 14330 (driver option Port)". The port comes
// from Server as host,port, else for FreeTDS from TDSPORT in the environment
// or the driver option Port, else it is the default 1433; a named instance
// (host\INSTANCE) asks the server's browser service.
QString DatabaseEndpointText(const CConnServer& record, const OdbcDriverInfo& driver);

// For a refused login: a hint when the driver is known to send the password
// wrongly (FreeTDS before 1.4 doubles a '}'), naming its version; else empty.
QString PasswordDriverHint(const CConnServer& record, const OdbcDriverInfo& driver);

// "connection refused at 10.0.4.17:4370", ...
QString TerminalReachText(const TerminalProbe& probe, const QString& address, int port);
QString TerminalReachHint(TerminalReach reach);
