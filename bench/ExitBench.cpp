// zelvor-bench-exit: how soon an all-devices run ends after its last line,
// over many runs of a site whose middle terminal fails its download (the
// terminal refuses to prepare its log, or trickles its punches past the
// device's deadline), between two sound ones. Run it under scripts/with-tsqldb
// or scripts/with-testdb, or through scripts/bench-exit.
//
//   zelvor-bench-exit [runs] [--stacks-after MS] [--program PATH]
//                     (default 200 runs, half of each fault; with --stacks-after,
//                     the stacks of a program that has not ended this long after
//                     its last line are printed, before its own watchdog ends it;
//                     --program runs another build of zelvor, an older one say)
//
// It prints the runs, the runs that did not end within a second of their last
// line, the watchdog's firings, the runs in which a sound terminal failed (with
// their lines), and the time from the last line to the end (median, 99th
// percentile, highest). Exit status 0 when every run ended within a second
// and every sound terminal passed.
#include "Rig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>

namespace {

constexpr qint64 kTargetMs = 1000;
// Past the program's own watchdog (10 s): a run still going then is hung.
constexpr qint64 kGiveUpMs = 30000;

struct RunEnd {
    bool saidLastLine = false;
    bool ended = false;
    bool watchdogFired = false;
    qint64 lastLineToEndMs = -1;
    QString err;
};

void PrintStacks(qint64 pid)
{
    std::printf("stacks of pid %lld, after its last line:\n%s\n", static_cast<long long>(pid),
                qPrintable(ProgramStacks(pid)));
}

// Runs the program once, reading its standard error as it comes, and times
// the end from its last line ("done: ...").
RunEnd RunOnce(const ProgramInstall& install, const QStringList& arguments, qint64 stacksAfterMs)
{
    RunEnd end;
    const std::unique_ptr<QProcess> process = install.Start(arguments);
    if (!process)
        return end;
    process->setReadChannel(QProcess::StandardError);
    QElapsedTimer sinceLastLine;
    bool stacksPrinted = false;
    while (true) {
        const bool finished = process->waitForFinished(2);
        end.err += QString::fromUtf8(process->readAllStandardError());
        if (!end.saidLastLine && end.err.contains(QStringLiteral("zelvor: done: "))) {
            end.saidLastLine = true;
            sinceLastLine.start();
        }
        if (finished || process->state() == QProcess::NotRunning)
            break;
        if (end.saidLastLine && stacksAfterMs > 0 && !stacksPrinted &&
            sinceLastLine.elapsed() > stacksAfterMs) {
            PrintStacks(process->processId());
            stacksPrinted = true;
        }
        if (end.saidLastLine && sinceLastLine.elapsed() > kGiveUpMs) {
            PrintStacks(process->processId());
            process->kill();
            process->waitForFinished();
            return end;
        }
    }
    end.ended = true;
    end.err += QString::fromUtf8(process->readAllStandardError());
    end.watchdogFired = end.err.contains(QStringLiteral("did not finish within"));
    if (end.saidLastLine)
        end.lastLineToEndMs = sinceLastLine.elapsed();
    return end;
}

qint64 Percentile(QList<qint64> values, double share)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values.at(std::min<qsizetype>(values.size() - 1, qsizetype(share * values.size())));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const int runs =
        !args.isEmpty() && !args.first().startsWith(QLatin1Char('-')) ? args.first().toInt() : 200;
    const qsizetype stacksAt = args.indexOf(QStringLiteral("--stacks-after"));
    const qint64 stacksAfterMs =
        stacksAt >= 0 && stacksAt + 1 < args.size() ? args.at(stacksAt + 1).toLongLong() : 0;
    const qsizetype programAt = args.indexOf(QStringLiteral("--program"));
    const QString program =
        programAt >= 0 && programAt + 1 < args.size() ? args.at(programAt + 1) : QString();
    const QString problem = testsupport::TestDatabase::EnvironmentProblem();
    if (!problem.isEmpty() || runs < 1) {
        std::fprintf(stderr, "%s\n",
                     qPrintable(problem.isEmpty() ? QStringLiteral("no runs") : problem));
        return 2;
    }

    const QList<std::pair<QString, QStringList>> faults{
        {QStringLiteral("refused PREPARE"), {QStringLiteral("--prepare-refused")}},
        {QStringLiteral("trickle past the deadline"),
         {QStringLiteral("--trickle"), QStringLiteral("500")}}};
    QList<qint64> lastLineToEnd;
    int late = 0, hung = 0, fired = 0, silent = 0, soundFailed = 0;
    for (qsizetype f = 0; f < faults.size(); ++f) {
        Rig rig;
        if (!rig.install.Ready() || !rig.db.Reset()) {
            std::fprintf(stderr, "cannot set up: %s\n", qPrintable(rig.db.LastError()));
            return 1;
        }
        if (!program.isEmpty() && (!QFile::remove(rig.install.Program()) ||
                                   !QFile::copy(program, rig.install.Program()))) {
            std::fprintf(stderr, "cannot install %s\n", qPrintable(program));
            return 1;
        }
        const CConnServerList devices{
            rig.AddDevice(1, QStringLiteral("First"), Rig::TodayPunches(QStringLiteral("F"), 20)),
            rig.AddDevice(2, QStringLiteral("Middle"), Rig::TodayPunches(QStringLiteral("M"), 40),
                          faults.at(f).second),
            rig.AddDevice(3, QStringLiteral("Last"), Rig::TodayPunches(QStringLiteral("L"), 10))};
        for (const CConnServer& device : devices)
            if (device.Name.isEmpty()) {
                std::fprintf(stderr, "%s\n", qPrintable(rig.Error()));
                return 1;
            }
        if (!rig.install.WriteConfig(devices))
            return 1;
        const int share = f + 1 < faults.size() ? runs / int(faults.size())
                                                : runs - int(f) * (runs / int(faults.size()));
        // The device's time: enough for a busy engine's first statements of a
        // session, short enough that the trickling terminal is cut off.
        for (int run = 0; run < share; ++run) {
            const RunEnd end = RunOnce(
                rig.install,
                {QStringLiteral("--device-timeout"), QStringLiteral("8"), QStringLiteral("1")},
                stacksAfterMs);
            if (!end.saidLastLine) {
                ++silent;
                std::printf("run %d (%s): no last line\n%s\n", run + 1,
                            qPrintable(faults.at(f).first), qPrintable(end.err));
                continue;
            }
            if (!end.ended) {
                ++hung;
                std::printf("run %d (%s): no end %lld ms after its last line\n", run + 1,
                            qPrintable(faults.at(f).first), static_cast<long long>(kGiveUpMs));
                continue;
            }
            if (!end.err.contains(QStringLiteral("zelvor: First: 20 punches in range")) ||
                !end.err.contains(QStringLiteral("zelvor: Last: 10 punches in range"))) {
                ++soundFailed;
                std::printf("run %d (%s): a sound terminal failed\n%s\n", run + 1,
                            qPrintable(faults.at(f).first), qPrintable(end.err));
            }
            fired += end.watchdogFired ? 1 : 0;
            lastLineToEnd.append(end.lastLineToEndMs);
            if (end.lastLineToEndMs > kTargetMs) {
                ++late;
                std::printf("run %d (%s): ended %lld ms after its last line%s\n", run + 1,
                            qPrintable(faults.at(f).first),
                            static_cast<long long>(end.lastLineToEndMs),
                            end.watchdogFired ? " (the watchdog ended it)" : "");
            }
            std::fflush(stdout);
        }
    }
    std::printf("%d runs (%s and %s in the middle): %d ended later than %lld ms after their last "
                "line, %d hung, %d without a last line, %d with a sound terminal failed; the "
                "watchdog fired %d times; last line to end: median %lld ms, 99th percentile %lld "
                "ms, highest %lld ms\n",
                runs, qPrintable(faults.at(0).first), qPrintable(faults.at(1).first), late,
                static_cast<long long>(kTargetMs), hung, silent, soundFailed, fired,
                static_cast<long long>(Percentile(lastLineToEnd, 0.5)),
                static_cast<long long>(Percentile(lastLineToEnd, 0.99)),
                static_cast<long long>(Percentile(lastLineToEnd, 1.0)));
    return late == 0 && hung == 0 && silent == 0 && soundFailed == 0 ? 0 : 1;
}
