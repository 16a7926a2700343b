// zelvor-bench-site: the all-devices run of a site, the real program against
// rate-limited simulated terminals and the test database (run it under
// scripts/with-testdb, or through scripts/bench-site). It times the run with
// one job and with the default, and the download of one terminal alone, and
// prints each run's peak memory.
//
//   zelvor-bench-site [terminals] [punches per terminal] [punches per second] [jobs...]
//                     (default 20 10000 5000; further job counts are timed as well)
#include "Rig.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct Measure {
    bool ok = false;
    double seconds = 0;
    qint64 peakKiB = -1;
    double busySeconds = 0;    // processor time the whole machine spent, all processes
    double programSeconds = 0; // processor time of the program alone
    QString err;
};

// Processor time of the children that have ended, this bench's program runs
// among them, in seconds.
double EndedChildrenSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Processor time the machine has spent busy so far, in seconds over all
// cores: the program, the simulators and the database share the cores, so
// this says how much of the run was waiting and how much was work.
double MachineBusySeconds()
{
    QFile stat(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
    double busy = 0;
    // cpu user nice system idle iowait irq softirq steal ...
    for (qsizetype i = 1; i < fields.size() && i <= 8; ++i)
        if (i != 4 && i != 5)
            busy += fields.at(i).toDouble();
    return busy / double(sysconf(_SC_CLK_TCK));
}

Measure RunProgram(const ProgramInstall& install, const QStringList& arguments)
{
    Measure measure;
    QElapsedTimer timer;
    timer.start();
    const double busyBefore = MachineBusySeconds();
    const double childrenBefore = EndedChildrenSeconds();
    const std::unique_ptr<QProcess> started = install.Start(arguments);
    if (!started)
        return measure;
    QProcess& process = *started;
    while (!process.waitForFinished(10)) {
        // The peak only grows: the last reading before the end is the peak
        // within a few milliseconds.
        const qint64 peak = PeakMemoryKiB(process.processId());
        measure.peakKiB = std::max(measure.peakKiB, peak);
        if (timer.elapsed() > 600000) {
            process.kill();
            process.waitForFinished();
            measure.err = QStringLiteral("no end after 600 s");
            return measure;
        }
    }
    measure.seconds = double(timer.nsecsElapsed()) / 1e9;
    measure.busySeconds = MachineBusySeconds() - busyBefore;
    measure.programSeconds = EndedChildrenSeconds() - childrenBefore;
    measure.err = QString::fromUtf8(process.readAllStandardError());
    measure.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return measure;
}

// Punches spread over the month so far, distinct per terminal.
QList<LogPunch> Punches(int terminal, int count)
{
    const QDate today = QDate::currentDate();
    const int days = today.day();
    QList<LogPunch> punches;
    punches.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QDate day(today.year(), today.month(), 1 + i % days);
        const QTime time = QTime(6, 0).addSecs(7 * (i / days));
        punches.append(
            {QStringLiteral("T%1-%2").arg(terminal).arg(i % 400), QDateTime(day, time), 1, 0, 0});
    }
    return punches;
}

double MiB(qint64 kib)
{
    return double(kib) / 1024.0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int terminals = argc > 1 ? QByteArray(argv[1]).toInt() : 20;
    const int punches = argc > 2 ? QByteArray(argv[2]).toInt() : 10000;
    const QString rate = QString::fromLatin1(argc > 3 ? argv[3] : "5000");
    const QString problem = testsupport::TestDatabase::EnvironmentProblem();
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 2;
    }
    Rig rig;
    if (!rig.install.Ready() || !rig.db.Reset()) {
        std::fprintf(stderr, "cannot set up: %s\n", qPrintable(rig.db.LastError()));
        return 1;
    }
    CConnServerList devices;
    for (int t = 1; t <= terminals; ++t) {
        const CConnServer device =
            rig.AddDevice(t, QStringLiteral("Terminal %1").arg(t), Punches(t, punches),
                          {QStringLiteral("--rate"), rate});
        if (device.Name.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(rig.Error()));
            return 1;
        }
        devices.append(device);
    }
    if (!rig.install.WriteConfig(devices))
        return 1;
    std::printf("%d terminals, %d punches each, %s punches/s each\n", terminals, punches,
                qPrintable(rate));

    // One terminal's own download: the single-terminal run, which does not post.
    double slowest = 0;
    double busiest = 0;
    for (int t = 1; t <= std::min(terminals, 3); ++t) {
        const QString first = QDate::currentDate().toString(QStringLiteral("yyyy-MM-01"));
        const QString today = QDate::currentDate().toString(Qt::ISODate);
        QStringList args(17);
        args[2] = rig.install.Folder() + QStringLiteral("/single");
        args[3] = QStringLiteral("127.0.0.1");
        args[4] = rig.Port(t);
        args[13] = first;
        args[14] = today;
        args[15] = QStringLiteral("0");
        const Measure single = RunProgram(rig.install, args);
        if (!single.ok) {
            std::fprintf(stderr, "single-terminal run failed: %s\n", qPrintable(single.err));
            return 1;
        }
        slowest = std::max(slowest, single.seconds);
        busiest = std::max(busiest, single.busySeconds);
    }
    std::printf("one terminal alone (download, export, no posting): %.2f s, machine busy %.1f "
                "processor-s\n",
                slowest, busiest);

    QList<std::pair<QString, QStringList>> runs{
        {QStringLiteral("--jobs 1"),
         {QStringLiteral("--jobs"), QStringLiteral("1"), QStringLiteral("1")}},
        {QStringLiteral("default jobs"), {QStringLiteral("1")}}};
    for (int i = 4; i < argc; ++i)
        runs.append(
            {QStringLiteral("--jobs %1").arg(QString::fromLatin1(argv[i])),
             {QStringLiteral("--jobs"), QString::fromLatin1(argv[i]), QStringLiteral("1")}});
    QList<Measure> measures;
    qint64 expectedRows = -1;
    for (const auto& [name, args] : runs) {
        if (!rig.db.Execute(QStringLiteral("TRUNCATE tsrHrMovement"))) {
            std::fprintf(stderr, "cannot empty the table: %s\n", qPrintable(rig.db.LastError()));
            return 1;
        }
        Measure run = RunProgram(rig.install, args);
        const qint64 rows =
            rig.db.QueryValue(QStringLiteral("SELECT count(*) FROM tsrHrMovement")).toLongLong();
        // Every run posts what the first one did (punches later today than
        // now are outside the range): another count is no result to compare.
        if (expectedRows < 0)
            expectedRows = rows;
        if (run.ok && (rows == 0 || rows != expectedRows)) {
            run.ok = false;
            run.err =
                QStringLiteral("%1 rows posted, %2 by the first run").arg(rows).arg(expectedRows);
        }
        std::printf("all-devices run, %-12s: %6.2f s, peak memory %6.1f MiB, %lld rows, "
                    "machine busy %.1f of %.1f processor-s (program %.1f)%s\n",
                    qPrintable(name), run.seconds, MiB(run.peakKiB), rows, run.busySeconds,
                    run.seconds * double(QThread::idealThreadCount()), run.programSeconds,
                    run.ok ? "" : "  FAILED");
        if (!run.ok)
            std::fprintf(stderr, "%s\n", qPrintable(run.err));
        measures.append(run);
    }
    bool ok = measures.at(0).peakKiB > 0;
    if (!ok)
        std::fprintf(stderr, "peak memory of the --jobs 1 run not measured\n");
    for (qsizetype i = 1; i < measures.size(); ++i) {
        std::printf("%-12s: time / one terminal alone %.2f (target at most 2), "
                    "peak memory / --jobs 1 %.2f (target under 2)\n",
                    qPrintable(runs.at(i).first), measures.at(i).seconds / slowest,
                    double(measures.at(i).peakKiB) / double(measures.at(0).peakKiB));
        ok = ok && measures.at(i).ok;
    }
    return measures.at(0).ok && ok ? 0 : 1;
}
