// zelvor-bench-posting: posts a download of punches into the test database's
// movement table with the batch method and the per-row method, directly and
// through the latency relay, and compares them with PostgreSQL's COPY of the
// same rows (the floor). Needs the test database's environment: run it through
// scripts/bench-posting.
//
//   zelvor-bench-posting [punches] [--per-row-relay N] [--delay-ms MS] [--no-per-row]
//
// punches (default 20000) are posted three times each way: all new, the same
// again (all already there), and with every other one already there. The
// batch method and COPY are timed three times each, and the best time counts
// (the machine may be busy with other work). The per-row method through the
// relay takes minutes for 20,000 punches, so it posts N (default 1000) and its
// time is scaled, which the output says.
#include "PerRowPosting.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "store/ConnectionString.h"
#include "store/MovementPosting.h"
#include "store/PostingSteps.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

using PostingMethod = std::function<PostingSummary(CConnServer, const MovementList&, Database&,
                                                   MessageSink&, const Clock&)>;

const PostingMethod kInBatches = [](CConnServer record, const MovementList& movements, Database& db,
                                    MessageSink& messages, const Clock& clock) {
    return PostMovements(std::move(record), movements, db, messages, clock);
};
const PostingMethod kPerRow = [](CConnServer record, const MovementList& movements, Database& db,
                                 MessageSink& messages, const Clock& clock) {
    return PostMovementsPerRow(std::move(record), movements, db, messages, clock);
};

QString Env(const char* name)
{
    return qEnvironmentVariable(name);
}

CConnServer Record(const QString& server)
{
    CConnServer record;
    record.Server = server;
    record.User = Env("ZELVOR_TEST_DB_USER");
    record.Pass = Env("ZELVOR_TEST_DB_PASS");
    record.DbName = Env("ZELVOR_TEST_DB_NAME");
    record.ConnStr = BuildConnStr(record);
    return record;
}

// count distinct punches of 500 cards over March, as a terminal would log them.
MoveRecList Punches(int count)
{
    MoveRecList movements;
    movements.reserve(count);
    const QDateTime start(QDate(2024, 3, 1), QTime(6, 0));
    for (int i = 0; i < count; ++i)
        movements.append(
            {QString::number(1000 + i % 500),
             start.addSecs(qint64(i) * 127).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")),
             QString::number(i % 2)});
    return movements;
}

MoveRecList EveryOther(const MoveRecList& movements)
{
    MoveRecList kept;
    for (qsizetype i = 0; i < movements.size(); i += 2)
        kept.append(movements.at(i));
    return kept;
}

// Empties the movement table, then posts the punches that are to be there.
bool Prepare(const MoveRecList& present, const Clock& clock)
{
    Database db;
    StreamMessageSink messages;
    try {
        db.Open(Record(Env("ZELVOR_TEST_DB_SERVER")).ConnStr);
        db.Execute(QStringLiteral("TRUNCATE tsrHrMovement"));
        if (!present.isEmpty() &&
            PostMovements(Record(Env("ZELVOR_TEST_DB_SERVER")), present, db, messages, clock)
                    .inserted != present.size()) {
            std::fprintf(stderr, "the punches already present were not all posted\n");
            return false;
        }
        db.Open(Record(Env("ZELVOR_TEST_DB_SERVER")).ConnStr);
        db.Execute(QStringLiteral("ANALYZE tsrHrMovement"));
        return true;
    } catch (const DatabaseError& error) {
        std::fprintf(stderr, "preparing the table: %s\n", error.what());
        return false;
    }
}

struct Measure {
    bool ok = false;
    int punches = 0;
    double seconds = 0;
    PostingSummary summary;
};

Measure Post(const PostingMethod& method, const QString& server, const MoveRecList& list,
             const Clock& clock)
{
    Measure measure;
    // Packed as a download packs them, before the clock starts.
    const MovementList movements(list);
    measure.punches = int(movements.size());
    Database db;
    StreamMessageSink messages;
    QElapsedTimer timer;
    try {
        // The program has the connection open already when it posts (the
        // device's address was looked up through it), as psql has for COPY.
        db.Open(Record(server).ConnStr);
        timer.start();
        measure.summary = method(Record(server), movements, db, messages, clock);
        measure.ok = true;
    } catch (const DatabaseError& error) {
        std::fprintf(stderr, "posting failed: %s\n", error.what());
    }
    measure.seconds = double(timer.nsecsElapsed()) / 1e9;
    return measure;
}

// COPY of the rows a posting of movements inserts, through psql as the
// administrator; the server's own time for the COPY statement.
double CopySeconds(const MoveRecList& movements, const QString& today)
{
    QByteArray script =
        "\\timing on\nCOPY tsrHrMovement (ID, ParentID, Number, CardNb, Date, "
        "Direction, Status, IsManual, IsDelete, IsPosted, UserID, CDate) FROM STDIN;\n";
    const QByteArray zero = "00000000-0000-0000-0000-000000000000";
    double number = 2;
    for (const MoveRec& movement : movements) {
        script += NewGuidText().toLatin1() + '\t' + zero + '\t' +
                  QByteArray::number(number, 'f', 6) + '\t' + movement.CardNb.toUtf8() + '\t' +
                  movement.Date.toLatin1() + "\t-1\t0\t0\t0\t0\t" + zero + '\t' + today.toLatin1() +
                  '\n';
        number += 1;
    }
    script += "\\.\n";
    QProcess psql;
    psql.start(QStringLiteral("/bin/sh"),
               {QStringLiteral("-c"),
                Env("ZELVOR_TEST_DB_ADMIN") + QStringLiteral(" -q -v ON_ERROR_STOP=1 -f -")});
    if (!psql.waitForStarted())
        return -1;
    psql.write(script);
    psql.closeWriteChannel();
    const bool finished = psql.waitForFinished(120000) &&
                          psql.exitStatus() == QProcess::NormalExit && psql.exitCode() == 0;
    const QString out = QString::fromUtf8(psql.readAllStandardOutput());
    const QRegularExpressionMatch time =
        QRegularExpression(QStringLiteral("Time: ([0-9.]+) ms")).match(out);
    if (!finished || !time.hasMatch()) {
        std::fprintf(stderr, "COPY failed: %s%s\n", qPrintable(out),
                     psql.readAllStandardError().constData());
        return -1;
    }
    return time.captured(1).toDouble() / 1000;
}

// The relay as a child process, in front of the test database's socket.
class RelayProcess {
public:
    bool Start(double delayMs)
    {
        if (!folder_.isValid())
            return false;
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(ZELVOR_LATENCY_RELAY_PATH),
                       {QStringLiteral("--listen"),
                        folder_.filePath(QStringLiteral(".s.PGSQL.5432")),
                        QStringLiteral("--target"),
                        Env("ZELVOR_TEST_DB_SERVER") + QStringLiteral("/.s.PGSQL.5432"),
                        QStringLiteral("--delay-ms"), QString::number(delayMs)});
        return process_.waitForStarted() && process_.waitForReadyRead(10000) &&
               process_.readLine().startsWith("listening");
    }
    ~RelayProcess()
    {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }
    QString Folder() const { return folder_.path(); }

private:
    QTemporaryDir folder_{QStringLiteral("/tmp/zelvor-relay.XXXXXX")};
    QProcess process_;
};

struct Case {
    const char* name;
    std::function<MoveRecList(const MoveRecList&)> present; // in the table before
};

const Case kCases[] = {
    {"new", [](const MoveRecList&) { return MoveRecList(); }},
    {"duplicates", [](const MoveRecList& all) { return all; }},
    {"half new", [](const MoveRecList& all) { return EveryOther(all); }},
};

constexpr int kRepeats = 3;

double RowsPerSecond(const Measure& measure)
{
    return measure.seconds > 0 ? measure.punches / measure.seconds : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int punches = 20000;
    int perRowRelay = 1000;
    double delayMs = 1;
    bool perRow = true;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--per-row-relay") && i + 1 < args.size())
            perRowRelay = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--delay-ms") && i + 1 < args.size())
            delayMs = args.at(++i).toDouble();
        else if (args.at(i) == QLatin1String("--no-per-row"))
            perRow = false;
        else
            punches = args.at(i).toInt();
    }
    if (punches <= 0 || perRowRelay <= 0 || Env("ZELVOR_TEST_DB_SERVER").isEmpty() ||
        Env("ZELVOR_TEST_DB_ADMIN").isEmpty()) {
        std::fprintf(stderr, "usage: zelvor-bench-posting [punches] [--per-row-relay N] "
                             "[--delay-ms MS] [--no-per-row]\nneeds the test database: run it "
                             "through scripts/bench-posting\n");
        return 2;
    }
    perRowRelay = std::min(perRowRelay, punches);

    const FixedClock clock(QDateTime(QDate(2024, 4, 2), QTime(9, 0)));
    const MoveRecList all = Punches(punches);
    const int batches = (punches + kPostingBatchRows - 1) / kPostingBatchRows;
    std::printf("%d punches; batches of %d punches, %d batches: at most %d statements per "
                "posting\n",
                punches, kPostingBatchRows, batches, 5 + batches);

    double copy = -1;
    for (int run = 0; run < kRepeats; ++run) {
        if (!Prepare({}, clock))
            return 1;
        const double seconds = CopySeconds(all, QStringLiteral("2024-04-02"));
        if (seconds > 0 && (copy < 0 || seconds < copy))
            copy = seconds;
    }
    std::printf("floor: PostgreSQL COPY of the same %d rows: %.3f s, %.0f rows/s (best of %d)\n",
                punches, copy, punches / copy, kRepeats);

    RelayProcess relay;
    if (!relay.Start(delayMs)) {
        std::fprintf(stderr, "the latency relay did not start\n");
        return 1;
    }
    std::printf("relay: %.1f ms each way, %.1f ms added to every round trip\n", delayMs,
                2 * delayMs);
    std::printf("batches: best of %d runs; per row: one run%s\n\n", kRepeats,
                perRow
                    ? qPrintable(QStringLiteral(", through the relay %1 punches, time scaled to %2")
                                     .arg(perRowRelay)
                                     .arg(punches))
                    : " (skipped)");
    std::printf("%-10s %-6s | %-33s | %-33s | %s\n", "", "", "batches", "per row", "per row /");
    std::printf("%-10s %-6s | %8s %10s %13s | %8s %10s %13s | %s\n", "posting", "path", "seconds",
                "rows/s", "statements", "seconds", "rows/s", "statements", "batches");

    const QString direct = Env("ZELVOR_TEST_DB_SERVER");
    bool ok = copy > 0;
    double directNewBatches = 0;
    double worstStatements = 0;
    double relayRatio[3] = {0, 0, 0};
    QStringList notes;
    for (const bool throughRelay : {false, true}) {
        const QString server = throughRelay ? relay.Folder() : direct;
        for (int c = 0; c < 3; ++c) {
            const Case& kase = kCases[c];
            Measure batched;
            for (int run = 0; run < kRepeats; ++run) {
                if (!Prepare(kase.present(all), clock))
                    return 1;
                const Measure measure = Post(kInBatches, server, all, clock);
                if (run == 0 || !measure.ok || measure.seconds < batched.seconds)
                    batched = measure;
                if (!measure.ok)
                    break;
            }
            worstStatements = std::max<double>(worstStatements, batched.summary.statements);
            if (!throughRelay && c == 0)
                directNewBatches = batched.seconds;
            Measure byRow;
            double rowSeconds = 0; // for all punches, scaled when fewer were posted
            if (perRow) {
                const MoveRecList some = throughRelay ? all.mid(0, perRowRelay) : all;
                if (!Prepare(kase.present(some), clock))
                    return 1;
                byRow = Post(kPerRow, server, some, clock);
                rowSeconds = byRow.seconds * double(punches) / double(some.size());
                ok = ok && byRow.ok;
            }
            ok = ok && batched.ok;
            const double ratio = batched.seconds > 0 ? rowSeconds / batched.seconds : 0;
            if (throughRelay)
                relayRatio[c] = ratio;
            const QString scaled = !perRow ? QString()
                                   : byRow.punches < punches
                                       ? QStringLiteral(" (%1 posted, time x%2)")
                                             .arg(byRow.punches)
                                             .arg(double(punches) / byRow.punches, 0, 'g', 3)
                                       : QString();
            std::printf("%-10s %-6s | %8.3f %10.0f %13d | ", kase.name,
                        throughRelay ? "relay" : "direct", batched.seconds, RowsPerSecond(batched),
                        batched.summary.statements);
            if (perRow)
                std::printf("%8.2f %10.0f %13d | %6.0fx%s\n", rowSeconds, RowsPerSecond(byRow),
                            byRow.summary.statements, ratio, qPrintable(scaled));
            else
                std::printf("%33s |\n", "not run");
            const int expectedNew = c == 0 ? punches : c == 1 ? 0 : punches / 2;
            if (batched.summary.inserted != expectedNew)
                notes << QStringLiteral("%1 %2: the batch method inserted %3, expected %4")
                             .arg(QString::fromLatin1(kase.name),
                                  throughRelay ? QStringLiteral("relay") : QStringLiteral("direct"))
                             .arg(batched.summary.inserted)
                             .arg(expectedNew);
        }
    }
    Prepare({}, clock);

    const auto verdict = [](bool met) { return met ? "met" : "NOT met"; };
    std::printf("\ntargets\n");
    if (perRow) {
        std::printf("  relay, new punches: batches %.0fx faster than per row (at least 200x): %s\n",
                    relayRatio[0], verdict(relayRatio[0] >= 200));
        std::printf("  relay, duplicates:  batches %.0fx faster than per row (at least 200x): %s\n",
                    relayRatio[1], verdict(relayRatio[1] >= 200));
    }
    std::printf("  direct, new punches: batches take %.2fx the time of COPY (at most 4x): %s\n",
                directNewBatches / copy, verdict(directNewBatches <= 4 * copy));
    std::printf("  statements per posting: at most %.0f (at most 5 + %d = %d): %s\n",
                worstStatements, batches, 5 + batches, verdict(worstStatements <= 5 + batches));
    for (const QString& note : notes)
        std::printf("  %s\n", qPrintable(note));
    return ok && notes.isEmpty() ? 0 : 1;
}
