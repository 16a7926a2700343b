#pragma once

// The pieces of zelvor-bench-posting that are the same for each server: where
// a connection goes, timing a posting, the table of figures, overlapping
// postings and a reader, and FreeTDS's requests.
#include "platform/Clock.h"
#include "store/Database.h"
#include "store/MovementPosting.h"
#include "store/Records.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

inline constexpr int kRepeats = 3;

struct BenchSettings {
    int punches = 20000;
    int perRowRelay = 1000;
    double delayMs = 1;
    bool perRow = true;
};

// count distinct punches of 500 cards over March, as a terminal would log them.
MoveRecList BenchPunches(int count);

// Where a connection goes: the record, and for FreeTDS the port, which
// travels in TDSPORT (set around opening the connection).
struct Route {
    CConnServer record;
    QByteArray tdsPort;

    // Opens db (throws DatabaseError).
    void Open(Database& db) const;
};

// A test server: its name, the direct route, how the relay reaches it and
// how its routes go through the relay, and how its table is emptied.
struct BenchServer {
    QString name;
    Route direct;
    QString relayTarget; // the relay's --target
    QString relayListen; // the relay's --listen
    std::function<Route(const QString& listening)> throughRelay;
    QStringList emptyTable;      // statements that empty the movement table
    bool countsRequests = false; // FreeTDS logs its requests (TDSDUMP)

    // Empties the movement table, then posts the punches that are to be there.
    bool Fill(const MoveRecList& present, const Clock& clock) const;
};

std::optional<BenchServer> PostgresServer(); // nothing without its environment
// Nothing when the T-SQL engine's environment is missing.
std::optional<BenchServer> TsqlServer();

// Requests a posting sent, from FreeTDS's log.
struct RequestCount {
    int total = 0;
    QString byKind; // "sql batch 2, sp_prepexec 3, ..."
};

// Several postings of the same punches at once, and a reader meanwhile.
struct Overlap {
    int runs = 0;
    qint64 punches = 0;         // distinct punches posted
    qint64 rows = 0;            // rows in the table
    qint64 distinctPunches = 0; // distinct (CardNb, Date) among them
    qint64 distinctNumbers = 0;
    double readerMaxMs = 0; // longest count(*) of a reader during a posting
    bool Exact() const
    {
        return rows == punches && distinctPunches == rows && distinctNumbers == rows;
    }
};

struct ServerFigures {
    QString name;
    double directNewSeconds = 0;
    double relayNewRatio = 0; // per row / batches, through the relay, new punches
    double worstStatements = 0;
    Overlap overlap;
    RequestCount requests;
};

// Prints the server's table of postings and measures the rest; what went
// wrong goes to notes.
ServerFigures BenchServerPostings(const BenchServer& server, const MoveRecList& all,
                                  const BenchSettings& settings, const Clock& clock,
                                  QStringList& notes);
