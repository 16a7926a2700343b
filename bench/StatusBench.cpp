// zelvor-bench-status: how long `zelvor-settings status` takes for a site of
// many devices, as a monitoring system calls it: a process that reads
// config.ini and every device's records, asks systemd for the timer, and
// prints its answer.
//
//   zelvor-bench-status [devices] [--runs N]   (default 500 devices, 5 runs)
//
// The site's records are written the way the all-devices run writes them: one
// device in ten failed its last run, one in fifty never ran.
#include "app/DeviceRun.h"
#include "app/LastRun.h"
#include "app/LastSuccess.h"
#include "platform/FileRegistryStore.h"
#include "settings/CCrypt.h"
#include "settings/SettingsFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

bool WriteSite(const QTemporaryDir& dir, int devices)
{
    FileRegistryStore registry(
        dir.filePath(QStringLiteral("xdg/zelvor/registry/HKEY_CURRENT_USER")));
    const QDateTime now = QDateTime::currentDateTime();
    CConnServerList list;
    for (int i = 0; i < devices; ++i) {
        CConnServer device;
        device.DeviceId =
            QStringLiteral("00000000-0000-0000-0000-%1").arg(i, 12, 10, QLatin1Char('0'));
        device.Name = QStringLiteral("Gate %1").arg(i);
        device.Server = QStringLiteral("hr-db");
        device.User = QStringLiteral("zelvor");
        device.Pass = QStringLiteral("secret");
        device.DbName = QStringLiteral("HRSuite");
        device.IsCheck = QStringLiteral("1");
        device.IsDeleteFile = QStringLiteral("0");
        list.append(device);
        if (i % 50 == 49)
            continue;
        DeviceOutcome outcome;
        outcome.name = device.Name;
        outcome.deviceId = device.DeviceId;
        outcome.startedAt = now.addSecs(-600 - i);
        outcome.seconds = 4.2;
        outcome.downloaded = outcome.postingDone = i % 10 != 9;
        outcome.inRange = 4000;
        outcome.posting.inserted = 120;
        outcome.posting.skipped = 3880;
        if (!outcome.downloaded)
            outcome.failure = QStringLiteral("could not connect to 10.0.4.17:4370");
        outcome.clock.read = outcome.downloaded;
        outcome.clock.offsetSeconds = i % 7;
        if (!RecordDeviceRun(registry, outcome, now.addDays(-10), {}).isEmpty())
            return false;
    }
    CCrypt crypt;
    return SaveSettings(list, dir.filePath(QStringLiteral("config.ini")), crypt);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    int devices = 500;
    int runs = 5;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else
            devices = std::max(1, args[i].toInt());
    }
    QTemporaryDir dir;
    if (!dir.isValid() || !WriteSite(dir, devices)) {
        std::fprintf(stderr, "cannot write the site's config.ini and records\n");
        return 1;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("xdg")));
    std::printf("zelvor-settings status over %d devices, %d runs each:\n", devices, runs);
    for (const char* format : {"text", "json"}) {
        QList<double> ms;
        qint64 bytes = 0;
        for (int run = 0; run < runs; ++run) {
            QProcess status;
            status.setProcessEnvironment(env);
            QElapsedTimer timer;
            timer.start();
            status.start(QStringLiteral(ZELVOR_SETTINGS_PATH),
                         {QStringLiteral("--file"), dir.filePath(QStringLiteral("config.ini")),
                          QStringLiteral("status"), QStringLiteral("--format"),
                          QLatin1String(format)});
            if (!status.waitForFinished(60000) || status.exitCode() != 1) {
                std::fprintf(stderr, "status did not answer as expected: %s\n",
                             status.readAllStandardError().constData());
                return 1;
            }
            ms.append(double(timer.nsecsElapsed()) / 1e6);
            bytes = status.readAllStandardOutput().size();
        }
        std::sort(ms.begin(), ms.end());
        std::printf("  --format %-4s  fastest %7.1f ms, median %7.1f ms, slowest %7.1f ms  "
                    "(%lld bytes)\n",
                    format, ms.first(), ms.at(ms.size() / 2), ms.last(),
                    static_cast<long long>(bytes));
    }
    return 0;
}
