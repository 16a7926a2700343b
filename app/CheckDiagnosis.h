#pragma once

#include <QDeadlineTimer>
#include <QString>

// What a failed check step says about the set-up: the database driver's text
// sorted into the usual causes, and a terminal address probed for whether
// anything answers there. Each cause has a short text and a hint for the
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

// Whether a terminal address answers: a plain TCP connection, then a wait for
// the first bytes (a terminal greets first). For telling "nobody there" from
// "somebody there who did not accept the link" after the link failed.
enum class TerminalReach {
    Answers,      // connected and sent something
    Silent,       // connected but sent nothing within the read time-out
    ClosedAtOnce, // connected and closed without a word
    Refused,      // the connection was refused: nothing listens on the port
    HostNotFound, // the address does not resolve
    Unreachable,  // no route to the host
    TimedOut,     // no answer to the connection within the connect time-out
    Other,
};

struct TerminalProbe {
    TerminalReach reach = TerminalReach::Other;
    QString socketText; // the socket's own words for a failed connection
};

// Connects to address:port and closes again; each wait ends at deadline at the latest.
TerminalProbe ProbeTerminal(const QString& address, int port, int connectTimeoutMs,
                            int readTimeoutMs, QDeadlineTimer deadline);
// "connection refused at 10.0.4.17:4370", ...
QString TerminalReachText(const TerminalProbe& probe, const QString& address, int port);
QString TerminalReachHint(TerminalReach reach);
