// zelvor-bench-posting: posts a download of punches into the movement table
// of a test server with the batch method and the per-row method, directly and
// through the latency relay: PostgreSQL (against its COPY of the same rows,
// the floor) or, with --tsql, the T-SQL engine through FreeTDS (with the
// requests FreeTDS sends per posting). It also lets several postings of the
// same punches overlap and times a reader's count during a posting. Run it
// through scripts/bench-posting, which runs it on both servers.
//
//   zelvor-bench-posting [--tsql] [punches] [--per-row-relay N] [--delay-ms MS] [--no-per-row]
//
// punches (default 20000) are posted three ways: all new, the same again (all
// already there), and with every other one already there. The batch method
// and COPY are timed three times each, and the best time counts (the machine
// may be busy with other work). The per-row method through the relay takes
// minutes for 20,000 punches, so it posts N (default 1000) and its time is
// scaled, which the output says.
#include "PostingBenchParts.h"

#include "platform/MessageSink.h"
#include "store/PostingSteps.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>

#include <cmath>
#include <cstdio>

namespace {

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
               {QStringLiteral("-c"), qEnvironmentVariable("ZELVOR_TEST_DB_ADMIN") +
                                          QStringLiteral(" -q -v ON_ERROR_STOP=1 -f -")});
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

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    BenchSettings settings;
    bool tsql = false;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--per-row-relay") && i + 1 < args.size())
            settings.perRowRelay = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--delay-ms") && i + 1 < args.size())
            settings.delayMs = args.at(++i).toDouble();
        else if (args.at(i) == QLatin1String("--no-per-row"))
            settings.perRow = false;
        else if (args.at(i) == QLatin1String("--tsql"))
            tsql = true;
        else
            settings.punches = args.at(i).toInt();
    }
    // unixODBC reads the driver's name from one odbcinst.ini per process, so
    // each server has a run of its own.
    const std::optional<BenchServer> server = tsql ? TsqlServer() : PostgresServer();
    if (settings.punches <= 0 || settings.perRowRelay <= 0 || !server) {
        std::fprintf(stderr, "usage: zelvor-bench-posting [--tsql] [punches] [--per-row-relay N] "
                             "[--delay-ms MS] [--no-per-row]\nneeds a test server's environment: "
                             "run it through scripts/bench-posting\n");
        return 2;
    }
    settings.perRowRelay = std::min(settings.perRowRelay, settings.punches);

    const FixedClock clock(QDateTime(QDate(2024, 4, 2), QTime(9, 0)));
    const MoveRecList all = BenchPunches(settings.punches);
    const int batches = (settings.punches + kPostingBatchRows - 1) / kPostingBatchRows;
    std::printf("%s: %d punches; batches of %d punches, %d batches: at most %d statements per "
                "posting\n",
                qPrintable(server->name), settings.punches, kPostingBatchRows, batches,
                5 + batches);

    double copy = -1;
    for (int run = 0; !tsql && run < kRepeats; ++run) {
        if (!server->Fill({}, clock))
            return 1;
        const double seconds = CopySeconds(all, QStringLiteral("2024-04-02"));
        if (seconds > 0 && (copy < 0 || seconds < copy))
            copy = seconds;
    }
    if (!tsql)
        std::printf("floor: PostgreSQL COPY of the same %d rows: %.3f s, %.0f rows/s (best of "
                    "%d)\n",
                    settings.punches, copy, settings.punches / copy, kRepeats);

    QStringList notes;
    const auto verdict = [](bool met) { return met ? "met" : "NOT met"; };
    const ServerFigures figures = BenchServerPostings(*server, all, settings, clock, notes);
    const QByteArray label = figures.name.toUtf8();
    const char* name = label.constData();
    std::printf("\ntargets\n");
    if (settings.perRow)
        std::printf("  %s, relay, new punches: batches %.0fx faster than per row (at least "
                    "200x): %s\n",
                    name, figures.relayNewRatio, verdict(figures.relayNewRatio >= 200));
    std::printf("  %s, statements per posting: at most %.0f (at most 5 + %d = %d): %s\n", name,
                figures.worstStatements, batches, 5 + batches,
                verdict(figures.worstStatements <= 5 + batches));
    std::printf("  %s, %d overlapping postings, no punch and no Number twice: %s\n", name,
                figures.overlap.runs, verdict(figures.overlap.Exact()));
    std::printf("  %s, a reader waits at most %.0f ms during a posting (under 1 s): %s\n", name,
                figures.overlap.readerMaxMs, verdict(figures.overlap.readerMaxMs < 1000));
    if (!tsql)
        std::printf("  %s, direct, new punches: batches take %.2fx the time of COPY (at most "
                    "4x): %s\n",
                    name, figures.directNewSeconds / copy,
                    verdict(copy > 0 && figures.directNewSeconds <= 4 * copy));
    if (server->countsRequests) {
        const int limit = 5 + 2 * batches;
        std::printf("  %s, requests per posting of %d new punches: %d (at most 5 + 2 x %d = "
                    "%d): %s\n    by kind: %s\n",
                    name, settings.punches, figures.requests.total, batches, limit,
                    verdict(figures.requests.total > 0 && figures.requests.total <= limit),
                    qPrintable(figures.requests.byKind));
    }
    for (const QString& note : std::as_const(notes))
        std::printf("  %s\n", qPrintable(note));
    return (tsql || copy > 0) && notes.isEmpty() ? 0 : 1;
}
