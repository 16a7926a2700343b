#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

// What the terminal simulator serves and which faults it injects; filled from
// its command line (see --help and tools/README.md).
struct SimOptions {
    QString listen = QStringLiteral("127.0.0.1");
    int port = 0;     // 0: any free port, printed on start
    QString portFile; // once listening, "<address> <port>" is written here, atomically
    int key = 0;
    int machine = 1;
    int sessions = 0;          // exit after this many connections; 0: never
    int idleTimeoutMs = 30000; // a silent client is dropped after this
    int stallLimitMs = 120000; // longest stall before the connection is closed
    QString stateFile;         // written with "active 0" or "active 1" at every change
    double rate = 0;           // punches per second; 0: as fast as the link takes them
    qint64 clockOffset = 0;    // the terminal's clock minus the host's, in seconds

    // The punch log: a file of punch lines, or generated.
    QString logFile;
    qint64 count = 1000;
    int users = 50;
    QDate from = QDate(2024, 3, 1);
    int days = 31;
    quint64 seed = 1;

    // Faults.
    int refuse = 0; // close the first N connections without a greeting
    bool stallGreeting = false;
    bool wrongKey = false;  // refuse every key proof
    qint64 closeAfter = -1; // close the connection after N punches
    qint64 stallAfter = -1; // stop sending after N punches and keep the connection
    qint64 garbageAfter = -1;
    qint64 oversizedAfter = -1;
    bool badDates = false;     // month 13 and 31 June among the generated punches
    bool oddCards = false;     // card numbers with quotes, tabs, blanks and Arabic letters
    std::optional<int> noData; // refuse LOAD with this error code
    bool prepareRefused = false;
    bool enableRefused = false; // refuse ACTIVE 1: the terminal stays off until the session ends
    qint64 badCardAfter = -1;   // the punch after N has a card number that is not UTF-8
    qint64 wideIntAfter = -1;   // the punch after N writes its year with 11 digits
    bool forgeClock = false;    // TIME answers carry a code that does not match

    qint64 trickleMs = 0;   // one punch every this many milliseconds
    qint64 dripMs = 0;      // each punch line a byte at a time, this many milliseconds apart
    bool impostor = false;  // answers in the terminal's place without knowing the key
    qint64 forgeAfter = -1; // alters the punch after N without fixing the stream's code
    qint64 logCount = -1;   // the punch log header announces this many instead of LOAD's count
    QString greetingExtra;  // further fields after the greeting's nonce
    QString greetingVersion = QStringLiteral("ZTP/2"); // the version the greeting names
    QString errorText; // the text of every ERR answer, instead of the usual one

    bool rawStream = false; // send the punch stream at once on connect (benchmark floor)
};

// Parses the arguments (without the program name). On error or --help, returns
// nothing and leaves the text to print in message; exitCode tells which.
std::optional<SimOptions> ParseSimOptions(const QStringList& arguments, QString& message,
                                          int& exitCode);

// The card numbers used by --odd-cards, in the order they are handed out.
const QStringList& OddCards();
