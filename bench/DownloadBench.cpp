// zelvor-bench-download: downloads a generated punch log from the terminal
// simulator over loopback through ConnectDevice and DownloadLog, and compares
// it with a plain transfer of the same stream (the floor).
//
//   zelvor-bench-download [punches] [--runs N] [--download-only]   (default 1000000, 3)
//
// The download and the floor take turns N times and the fastest of each is
// compared, so that a machine busy with other work for a moment weighs on
// neither alone. --download-only skips the memory check and the floor (for
// profiling).
#include "SimProcess.h"

#include "platform/MessageSink.h"
#include "terminal/ConnectDevice.h"
#include "terminal/DownloadLog.h"
#include "terminal/ExportFile.h"
#include "terminal/NetTerminalLink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

class QuietProgress : public ProgressSink {
public:
    void ReportStatus(const QString& code) override { last = code; }
    void ShowNotification(const QString&, const QString&, const QString&, int) override {}
    QString last;
};

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Run {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0;
    qint64 kept = 0;
    qint64 bytes = 0;
    qint64 exportBytes = 0;
    qint64 simPeakKiB = -1;
};

QStringList SimOptions(qint64 punches)
{
    return {QStringLiteral("--count"), QString::number(punches), QStringLiteral("--users"),
            QStringLiteral("500"),     QStringLiteral("--from"), QStringLiteral("2024-03-01"),
            QStringLiteral("--days"),  QStringLiteral("31")};
}

// One download through the real operations; keepAll false uses a range of 1990.
Run Download(qint64 punches, bool keepAll, const QString& folder)
{
    Run run;
    SimProcess sim;
    if (!sim.Start(SimOptions(punches))) {
        std::fprintf(stderr, "%s\n", qPrintable(sim.Error()));
        return run;
    }
    NetTerminalLink link;
    QuietProgress progress;
    StreamMessageSink messages;
    TransferContext ctx{link, progress, messages, systemClock(), folder};
    CConnServer device;
    device.Name = QStringLiteral("Bench");
    device.IP = sim.Address();
    device.Port = QString::number(sim.Port());
    device.FilePath = folder;
    if (!ConnectDevice(device, ctx))
        return run;
    DownloadRange range;
    const int year = keepAll ? 2024 : 1990;
    range.FromPicker = QDateTime(QDate(year, 1, 1), QTime(0, 0));
    range.ToPicker = QDateTime(QDate(year, 12, 31), QTime(23, 59, 59));
    MovementList movements;
    QElapsedTimer timer;
    const double cpuStart = CpuSeconds();
    timer.start();
    run.ok = DownloadLog(device, range, movements, ctx);
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.cpuSeconds = CpuSeconds() - cpuStart;
    run.kept = movements.size();
    run.bytes = link.BytesReceived();
    run.simPeakKiB = sim.PeakMemoryKiB();
    const QString exportPath = MakeExportPath(device.Name, device.FilePath, systemClock(), folder);
    run.exportBytes = QFileInfo(exportPath).size();
    link.CloseLink();
    return run;
}

// The same stream sent at once by the simulator and read without parsing.
Run PlainTransfer(qint64 punches)
{
    Run run;
    SimProcess sim;
    if (!sim.Start(SimOptions(punches) << QStringLiteral("--raw-stream")))
        return run;
    QTcpSocket socket;
    socket.setReadBufferSize(LineChannel::kBufferBytes);
    QElapsedTimer timer;
    timer.start();
    socket.connectToHost(sim.Address(), quint16(sim.Port()));
    if (!socket.waitForConnected(3000))
        return run;
    static char sink[LineChannel::kBufferBytes];
    while (socket.waitForReadyRead(5000) || socket.bytesAvailable() > 0)
        run.bytes += socket.read(sink, sizeof sink);
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.ok = run.bytes > 0;
    return run;
}

double MiB(qint64 kib)
{
    return double(kib) / 1024.0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 punches = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    QTemporaryDir folder;
    if (app.arguments().contains(QStringLiteral("--download-only"))) {
        const Run run = Download(punches, true, folder.path());
        std::printf("ok %d, kept %lld, %.3f s\n", run.ok, run.kept, run.seconds);
        return run.ok ? 0 : 1;
    }

    std::printf("memory check (range keeps no punch)\n");
    const Run small = Download(punches / 10, false, folder.path());
    const qint64 peakSmall = PeakMemoryKiB();
    const Run large = Download(punches, false, folder.path());
    const qint64 peakLarge = PeakMemoryKiB();
    std::printf("  %lld punches: ok %d, peak %.1f MiB\n", punches / 10, small.ok, MiB(peakSmall));
    std::printf("  %lld punches: ok %d, peak %.1f MiB (growth %.1f MiB)\n", punches, large.ok,
                MiB(peakLarge), MiB(peakLarge - peakSmall));

    // Taking turns; the fastest of each.
    const qsizetype runsAt = app.arguments().indexOf(QStringLiteral("--runs"));
    const int runs = runsAt > 0 ? std::max(1, app.arguments().value(runsAt + 1).toInt()) : 3;
    Run full;
    Run floor;
    QStringList downloadTimes, floorTimes;
    for (int i = 0; i < runs; ++i) {
        const Run download = Download(punches, true, folder.path());
        const Run plain = PlainTransfer(punches);
        downloadTimes.append(QString::number(download.seconds, 'f', 3));
        floorTimes.append(QString::number(plain.seconds, 'f', 3));
        if (i == 0 || !download.ok || (full.ok && download.seconds < full.seconds))
            full = download;
        if (i == 0 || !plain.ok || (floor.ok && plain.seconds < floor.seconds))
            floor = plain;
    }

    std::printf("download, every punch kept and exported (fastest of %d: %s s)\n", runs,
                qPrintable(downloadTimes.join(QStringLiteral(", "))));
    std::printf("  ok %d, kept %lld, %.3f s, %.0f punches/s\n", full.ok, full.kept, full.seconds,
                double(full.kept) / full.seconds);
    std::printf("  client CPU %.3f s: %.0f punches per CPU second\n", full.cpuSeconds,
                double(full.kept) / full.cpuSeconds);
    std::printf("  %.1f MiB received, export file %.1f MiB\n", double(full.bytes) / 1048576.0,
                double(full.exportBytes) / 1048576.0);
    std::printf("  peak memory: benchmark %.1f MiB, simulator %.1f MiB\n", MiB(PeakMemoryKiB()),
                MiB(full.simPeakKiB));

    std::printf("plain transfer of the same stream (floor, fastest of %d: %s s)\n", runs,
                qPrintable(floorTimes.join(QStringLiteral(", "))));
    std::printf("  ok %d, %.1f MiB, %.3f s\n", floor.ok, double(floor.bytes) / 1048576.0,
                floor.seconds);
    std::printf("ratio download / floor: %.2f\n", full.seconds / floor.seconds);
    const bool ok = small.ok && large.ok && full.ok && floor.ok && full.kept == punches;
    return ok ? 0 : 1;
}
