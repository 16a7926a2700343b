#pragma once

#include <QDeadlineTimer>
#include <QString>

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
