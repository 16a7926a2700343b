#include "PostingBenchParts.h"

#include "PerRowPosting.h"
#include "TdsDump.h"
#include "platform/MessageSink.h"
#include "store/ConnectionString.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using PostingMethod = PostingSummary (*)(CConnServer, const MovementList&, Database&, MessageSink&,
                                         const Clock&, const PostingProgress&);

MoveRecList EveryOther(const MoveRecList& movements)
{
    MoveRecList kept;
    for (qsizetype i = 0; i < movements.size(); i += 2)
        kept.append(movements.at(i));
    return kept;
}

CConnServer RecordOf(const QString& server, const char* user, const char* pass, const char* db)
{
    CConnServer record;
    record.Server = server;
    record.User = qEnvironmentVariable(user);
    record.Pass = qEnvironmentVariable(pass);
    record.DbName = qEnvironmentVariable(db);
    record.ConnStr = BuildConnStr(record);
    return record;
}

struct Measure {
    bool ok = false;
    int punches = 0;
    double seconds = 0;
    PostingSummary summary;
    double RowsPerSecond() const { return seconds > 0 ? punches / seconds : 0; }
};

Measure Post(PostingMethod method, const Route& route, const MoveRecList& list, const Clock& clock)
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
        route.Open(db);
        timer.start();
        measure.summary = method(route.record, movements, db, messages, clock, {});
        measure.ok = true;
    } catch (const DatabaseError& error) {
        std::fprintf(stderr, "posting failed: %s\n", error.what());
    }
    measure.seconds = double(timer.nsecsElapsed()) / 1e9;
    return measure;
}

// The relay as a child process between the bench and a server.
class RelayProcess {
public:
    // listen may hold {dir}, a folder of the relay's own. False when it did
    // not start; Listening() then is empty.
    bool Start(const QString& listen, const QString& target, double delayMs)
    {
        if (!folder_.isValid())
            return false;
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(ZELVOR_LATENCY_RELAY_PATH),
                       {QStringLiteral("--listen"),
                        QString(listen).replace(QStringLiteral("{dir}"), folder_.path()),
                        QStringLiteral("--target"), target, QStringLiteral("--delay-ms"),
                        QString::number(delayMs)});
        if (!process_.waitForStarted() || !process_.waitForReadyRead(10000))
            return false;
        const QByteArray line = process_.readLine().trimmed();
        if (!line.startsWith("listening "))
            return false;
        listening_ = QString::fromUtf8(line.mid(10));
        return true;
    }
    ~RelayProcess()
    {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }
    QString Listening() const { return listening_; }

private:
    QTemporaryDir folder_{QStringLiteral("/tmp/zelvor-relay.XXXXXX")};
    QProcess process_;
    QString listening_;
};

// A number from a query's first row; -1 when it cannot be read.
qint64 CountOf(Database& db, const QString& text)
{
    try {
        std::optional<QSqlQuery> query = db.Query(text);
        if (query && NextRow(*query))
            return query->value(0).toLongLong();
    } catch (const DatabaseError& error) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(text), error.what());
    }
    return -1;
}

// runs postings of the same punches at once, each on a thread and a
// connection of its own, while a reader counts the table's rows.
Overlap MeasureOverlap(const BenchServer& server, const MoveRecList& all, const Clock& clock,
                       QStringList& notes)
{
    Overlap overlap;
    overlap.runs = 4;
    overlap.punches = all.size();
    if (!server.Fill({}, clock)) {
        notes << server.name + QStringLiteral(": the table could not be emptied");
        return overlap;
    }
    const MovementList movements(all);
    QMutex mutex;
    std::atomic<int> running{overlap.runs};
    std::vector<std::thread> postings;
    for (int run = 0; run < overlap.runs; ++run)
        postings.emplace_back([&, run] {
            QThread::msleep(20 * run);
            Database db;
            StreamMessageSink messages;
            try {
                server.direct.Open(db);
                PostMovements(server.direct.record, movements, db, messages, clock);
            } catch (const DatabaseError& error) {
                const QMutexLocker lock(&mutex);
                notes << QStringLiteral("%1: overlapping posting %2 failed: %3")
                             .arg(server.name)
                             .arg(run)
                             .arg(error.Text());
            }
            --running;
        });
    Database reader;
    try {
        server.direct.Open(reader);
        while (running > 0) {
            QElapsedTimer timer;
            timer.start();
            CountOf(reader, QStringLiteral("SELECT COUNT(*) FROM tsrHrMovement"));
            overlap.readerMaxMs = std::max(overlap.readerMaxMs, timer.nsecsElapsed() / 1e6);
            QThread::msleep(10);
        }
    } catch (const DatabaseError& error) {
        notes << server.name + QStringLiteral(": the reader failed: ") + error.Text();
    }
    for (std::thread& posting : postings)
        posting.join();
    overlap.rows = CountOf(reader, QStringLiteral("SELECT COUNT(*) FROM tsrHrMovement"));
    overlap.distinctNumbers =
        CountOf(reader, QStringLiteral("SELECT COUNT(DISTINCT Number) FROM tsrHrMovement"));
    overlap.distinctPunches =
        CountOf(reader, QStringLiteral("SELECT COUNT(*) FROM (SELECT DISTINCT CardNb, Date FROM "
                                       "tsrHrMovement) AS d"));
    return overlap;
}

QString RequestKind(const testsupport::TdsRequest& request)
{
    static const QMap<int, QString> procedures = {{10, QStringLiteral("sp_executesql")},
                                                  {11, QStringLiteral("sp_prepare")},
                                                  {12, QStringLiteral("sp_execute")},
                                                  {13, QStringLiteral("sp_prepexec")},
                                                  {15, QStringLiteral("sp_unprepare")}};
    switch (request.type) {
    case testsupport::TdsRequest::SqlBatch:
        return QStringLiteral("SQL batch");
    case testsupport::TdsRequest::Transaction:
        return QStringLiteral("transaction");
    case testsupport::TdsRequest::Rpc:
        return procedures.value(request.RpcProcedure(), QStringLiteral("other call"));
    default:
        return QStringLiteral("type %1").arg(request.type);
    }
}

// The requests of one posting of new punches, from FreeTDS's log: those sent
// after the connection was open.
RequestCount CountRequests(const BenchServer& server, const MoveRecList& all, const Clock& clock,
                           QStringList& notes)
{
    RequestCount count;
    const QTemporaryDir dir;
    const QString dump = dir.filePath(QStringLiteral("tds.log"));
    if (!server.Fill({}, clock))
        return count;
    qputenv("TDSDUMP", QFile::encodeName(dump));
    Database db;
    StreamMessageSink messages;
    qsizetype before = 0;
    try {
        server.direct.Open(db);
        before = testsupport::ReadTdsRequests(dump).size();
        PostMovements(server.direct.record, all, db, messages, clock);
    } catch (const DatabaseError& error) {
        notes << server.name + QStringLiteral(": the counted posting failed: ") + error.Text();
    }
    qunsetenv("TDSDUMP");
    QMap<QString, int> kinds;
    const QList<testsupport::TdsRequest> requests = testsupport::ReadTdsRequests(dump);
    for (qsizetype i = before; i < requests.size(); ++i)
        ++kinds[RequestKind(requests.at(i))];
    count.total = int(requests.size() - before);
    QStringList parts;
    for (auto kind = kinds.cbegin(); kind != kinds.cend(); ++kind)
        parts << QStringLiteral("%1 %2").arg(kind.key()).arg(kind.value());
    count.byKind = parts.join(QStringLiteral(", "));
    return count;
}

} // namespace

MoveRecList BenchPunches(int count)
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

void Route::Open(Database& db) const
{
    const QByteArray saved = qgetenv("TDSPORT");
    if (tdsPort.isEmpty() || tdsPort == saved) {
        db.Open(record.ConnStr);
        return;
    }
    // FreeTDS reads the port when it connects.
    qputenv("TDSPORT", tdsPort);
    try {
        db.Open(record.ConnStr);
    } catch (...) {
        qputenv("TDSPORT", saved);
        throw;
    }
    qputenv("TDSPORT", saved);
}

bool BenchServer::Fill(const MoveRecList& present, const Clock& clock) const
{
    Database db;
    StreamMessageSink messages;
    try {
        direct.Open(db);
        for (const QString& statement : emptyTable)
            db.Execute(statement);
        if (!present.isEmpty() &&
            PostMovements(direct.record, present, db, messages, clock).inserted != present.size()) {
            std::fprintf(stderr, "the punches already present were not all posted\n");
            return false;
        }
        return true;
    } catch (const DatabaseError& error) {
        std::fprintf(stderr, "preparing the table: %s\n", error.what());
        return false;
    }
}

std::optional<BenchServer> PostgresServer()
{
    const QString socket = qEnvironmentVariable("ZELVOR_TEST_DB_SERVER");
    if (socket.isEmpty() || qEnvironmentVariable("ZELVOR_TEST_DB_ADMIN").isEmpty())
        return std::nullopt;
    const auto record = [](const QString& server) {
        return RecordOf(server, "ZELVOR_TEST_DB_USER", "ZELVOR_TEST_DB_PASS",
                        "ZELVOR_TEST_DB_NAME");
    };
    BenchServer server;
    server.name = QStringLiteral("PostgreSQL");
    server.direct = Route{record(socket), {}};
    server.relayTarget = socket + QStringLiteral("/.s.PGSQL.5432");
    server.relayListen = QStringLiteral("{dir}/.s.PGSQL.5432");
    server.throughRelay = [record](const QString& listening) {
        return Route{record(QFileInfo(listening).path()), {}};
    };
    // A statement of its own: PostgreSQL plans the merge by the statistics.
    server.emptyTable = {QStringLiteral("TRUNCATE tsrHrMovement"),
                         QStringLiteral("ANALYZE tsrHrMovement")};
    return server;
}

std::optional<BenchServer> TsqlServer()
{
    const QString host = qEnvironmentVariable("ZELVOR_TSQL_SERVER");
    const QByteArray port = qgetenv("ZELVOR_TSQL_PORT");
    if (host.isEmpty() || port.isEmpty())
        return std::nullopt;
    const CConnServer record =
        RecordOf(host, "ZELVOR_TSQL_USER", "ZELVOR_TSQL_PASSWORD", "ZELVOR_TSQL_DB");
    BenchServer server;
    server.name = QStringLiteral("T-SQL engine");
    server.direct = Route{record, port};
    server.relayTarget = host + QLatin1Char(':') + QString::fromLatin1(port);
    server.relayListen = QStringLiteral("127.0.0.1:0");
    server.throughRelay = [record](const QString& listening) {
        return Route{record, listening.section(QLatin1Char(':'), -1).toLatin1()};
    };
    server.emptyTable = {QStringLiteral("TRUNCATE TABLE tsrHrMovement")};
    server.countsRequests = true;
    return server;
}

ServerFigures BenchServerPostings(const BenchServer& server, const MoveRecList& all,
                                  const BenchSettings& settings, const Clock& clock,
                                  QStringList& notes)
{
    ServerFigures figures;
    figures.name = server.name;
    RelayProcess relay;
    if (!relay.Start(server.relayListen, server.relayTarget, settings.delayMs)) {
        notes << server.name + QStringLiteral(": the latency relay did not start");
        return figures;
    }
    std::printf("\n== %s; relay: %.1f ms each way, %.1f ms added to every round trip\n",
                qPrintable(server.name), settings.delayMs, 2 * settings.delayMs);
    std::printf("batches: best of %d runs; per row: one run%s\n\n", kRepeats,
                settings.perRow
                    ? qPrintable(QStringLiteral(", through the relay %1 punches, time scaled to %2")
                                     .arg(settings.perRowRelay)
                                     .arg(settings.punches))
                    : " (skipped)");
    std::printf("%-10s %-6s | %-33s | %-33s | %s\n", "", "", "batches", "per row", "per row /");
    std::printf("%-10s %-6s | %8s %10s %13s | %8s %10s %13s | %s\n", "posting", "path", "seconds",
                "rows/s", "statements", "seconds", "rows/s", "statements", "batches");

    struct Case {
        const char* name;
        MoveRecList present; // in the table before
        int expectedNew;
    };
    const Case cases[] = {{"new", {}, settings.punches},
                          {"duplicates", all, 0},
                          {"half new", EveryOther(all), settings.punches / 2}};
    const Route relayed = server.throughRelay(relay.Listening());
    for (const bool throughRelay : {false, true}) {
        const Route& route = throughRelay ? relayed : server.direct;
        const char* path = throughRelay ? "relay" : "direct";
        for (const Case& kase : cases) {
            Measure batched;
            for (int run = 0; run < kRepeats; ++run) {
                if (!server.Fill(kase.present, clock))
                    return figures;
                const Measure measure = Post(PostMovements, route, all, clock);
                if (run == 0 || !measure.ok || measure.seconds < batched.seconds)
                    batched = measure;
                if (!measure.ok)
                    break;
            }
            figures.worstStatements =
                std::max<double>(figures.worstStatements, batched.summary.statements);
            Measure byRow;
            double rowSeconds = 0; // for all punches, scaled when fewer were posted
            if (settings.perRow) {
                const MoveRecList some = throughRelay ? all.mid(0, settings.perRowRelay) : all;
                const MoveRecList present = kase.present.mid(0, some.size());
                if (!server.Fill(kase.expectedNew == settings.punches / 2 ? EveryOther(some)
                                                                          : present,
                                 clock))
                    return figures;
                byRow = Post(PostMovementsPerRow, route, some, clock);
                rowSeconds = byRow.seconds * double(settings.punches) / double(some.size());
                if (!byRow.ok)
                    notes << QStringLiteral("%1 %2 %3: the per-row posting failed")
                                 .arg(server.name, QLatin1String(kase.name), QLatin1String(path));
            }
            const double ratio = batched.seconds > 0 ? rowSeconds / batched.seconds : 0;
            if (kase.expectedNew == settings.punches) {
                if (throughRelay)
                    figures.relayNewRatio = ratio;
                else
                    figures.directNewSeconds = batched.seconds;
            }
            std::printf("%-10s %-6s | %8.3f %10.0f %13d | ", kase.name, path, batched.seconds,
                        batched.RowsPerSecond(), batched.summary.statements);
            if (settings.perRow)
                std::printf(
                    "%8.2f %10.0f %13d | %6.0fx%s\n", rowSeconds, byRow.RowsPerSecond(),
                    byRow.summary.statements, ratio,
                    byRow.punches < settings.punches
                        ? qPrintable(QStringLiteral(" (%1 posted, time x%2)")
                                         .arg(byRow.punches)
                                         .arg(double(settings.punches) / byRow.punches, 0, 'g', 3))
                        : "");
            else
                std::printf("%33s |\n", "not run");
            if (!batched.ok || batched.summary.inserted != kase.expectedNew)
                notes << QStringLiteral("%1 %2 %3: the batch method inserted %4, expected %5")
                             .arg(server.name, QLatin1String(kase.name), QLatin1String(path))
                             .arg(batched.summary.inserted)
                             .arg(kase.expectedNew);
        }
    }
    figures.overlap = MeasureOverlap(server, all, clock, notes);
    std::printf("%d overlapping postings of the same %lld punches: %lld rows, %lld distinct "
                "punches, %lld distinct Numbers; a reader's count took at most %.0f ms\n",
                figures.overlap.runs, figures.overlap.punches, figures.overlap.rows,
                figures.overlap.distinctPunches, figures.overlap.distinctNumbers,
                figures.overlap.readerMaxMs);
    if (server.countsRequests) {
        figures.requests = CountRequests(server, all, clock, notes);
        std::printf("requests of one posting of %d new punches (FreeTDS's log): %d: %s\n",
                    settings.punches, figures.requests.total, qPrintable(figures.requests.byKind));
    }
    server.Fill({}, clock);
    return figures;
}
