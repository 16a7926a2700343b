#include "StatusCommand.h"

#include "app/LastRun.h"
#include "app/LastSuccess.h"
#include "platform/Clock.h"
#include "platform/DateTexts.h"
#include "platform/InstallLayout.h"
#include "platform/RegistryStore.h"
#include "platform/SystemdTimer.h"
#include "terminal/TerminalClock.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace {

#ifdef Q_OS_WIN
// What starts the all-devices run: the installer's scheduled task, or the
// package's systemd timer.
const QString kTimerUnit = QStringLiteral("Zelvor scheduled run");
const QString kNotStarted =
    QStringLiteral("none, the task %1 is registered but %2: schtasks /Change /TN \"%1\" /ENABLE");
const QString kNotInstalled = QStringLiteral("none, the task %1 is not registered");
const QString kUnknown = QStringLiteral("unknown (%1)");
#else
const QString kTimerUnit = QStringLiteral("zelvor-run.timer");
const QString kNotStarted =
    QStringLiteral("none, %1 is installed (%2) but not started: systemctl enable --now %1");
const QString kNotInstalled = QStringLiteral("none, %1 is not installed");
const QString kUnknown = QStringLiteral("unknown, systemd cannot be asked here (%1)");
#endif

// One device as status shows it.
struct DeviceStatus {
    QString name;
    QString deviceId;
    LastRunRead run;
    std::optional<QDateTime> lastSuccess;

    bool Succeeded() const
    {
        return run.state == LastRunRead::State::Found && run.record.succeeded;
    }
};

struct Totals {
    int succeeded = 0;
    int failed = 0;
    int withoutRecord = 0;
};

Totals Count(const QList<DeviceStatus>& devices)
{
    Totals totals;
    for (const DeviceStatus& device : devices) {
        if (device.run.state != LastRunRead::State::Found)
            ++totals.withoutRecord;
        else if (device.run.record.succeeded)
            ++totals.succeeded;
        else
            ++totals.failed;
    }
    return totals;
}

// In whole seconds of the clock, as the times are shown.
qint64 AgeSeconds(const QDateTime& at, const QDateTime& now)
{
    return std::max<qint64>(0, now.toSecsSinceEpoch() - at.toSecsSinceEpoch());
}

QString When(const QDateTime& at)
{
    return at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString WhenAgo(const QDateTime& at, const QDateTime& now)
{
    return QStringLiteral("%1, %2 ago").arg(When(at), SpanText(AgeSeconds(at, now)));
}

// "  label:         value" with the values in one column.
QString Row(const QString& label, const QString& value)
{
    return QStringLiteral("  %1 %2\n").arg(label + QLatin1Char(':'), -15).arg(value);
}

QString NoRecordText(LastRunRead::State state)
{
    return state == LastRunRead::State::Missing
               ? QStringLiteral("no record: it has not run yet")
               : QStringLiteral("no record: its record cannot be read (cut short, or from "
                                "another version); the next run writes it anew");
}

QString PunchesText(const LastRunRecord& run)
{
    if (!run.downloaded)
        return QStringLiteral("none downloaded");
    if (!run.postingDone)
        return QStringLiteral("%1 in range, not posted").arg(run.inRange);
    return QStringLiteral("%1 in range, %2 posted, %3 already present, %4 refused")
        .arg(run.inRange)
        .arg(run.inserted)
        .arg(run.alreadyPresent)
        .arg(run.refused);
}

QString ClockText(const LastRunRecord& run)
{
    if (!run.clockOffsetSeconds)
        return QStringLiteral("never read");
    return QStringLiteral("%1 this host's clock (read %2)")
        .arg(OffsetText(*run.clockOffsetSeconds), When(run.clockReadAt));
}

QString DeviceText(const DeviceStatus& device, const QDateTime& now)
{
    QString text = QStringLiteral("%1 (%2)\n").arg(device.name, device.deviceId);
    if (device.run.state != LastRunRead::State::Found) {
        text += Row(QStringLiteral("last run"), NoRecordText(device.run.state));
    } else {
        const LastRunRecord& run = device.run.record;
        text += Row(QStringLiteral("last run"), run.succeeded
                                                    ? QStringLiteral("succeeded")
                                                    : QStringLiteral("FAILED, ") + run.reason);
        text += Row(QStringLiteral("started"), QStringLiteral("%1; took %2 s")
                                                   .arg(WhenAgo(run.startedAt, now))
                                                   .arg(run.seconds, 0, 'f', 1));
        text += Row(QStringLiteral("punches"), PunchesText(run));
        text += Row(QStringLiteral("terminal clock"), ClockText(run));
    }
    text +=
        Row(QStringLiteral("last success"), device.lastSuccess ? WhenAgo(*device.lastSuccess, now)
                                                               : QStringLiteral("none recorded"));
    return text;
}

// What to ask when no device has a record.
#ifdef Q_OS_WIN
// The records are the installation's, the same for every account.
const QString kNoRecordQuestion = QStringLiteral("has this installation's zelvor 1 run yet?");
#else
const QString kNoRecordQuestion =
    QStringLiteral("is this the account that runs zelvor 1? (with the package: runuser -u zelvor "
                   "-- zelvor-settings status)");
#endif

QString TimerText(const TimerState& timer, const QDateTime& now)
{
    switch (timer.kind) {
    case TimerState::Kind::Scheduled:
        if (!timer.next.isValid())
            return QStringLiteral("none due (%1 is started but names no next time)")
                .arg(kTimerUnit);
        return QStringLiteral("%1, in %2 (%3)")
            .arg(When(timer.next), SpanText(AgeSeconds(now, timer.next)), kTimerUnit);
    case TimerState::Kind::Inactive:
        return kNotStarted.arg(kTimerUnit, timer.enabled);
    case TimerState::Kind::NotInstalled:
        return kNotInstalled.arg(kTimerUnit);
    case TimerState::Kind::Unknown:
        break;
    }
    return kUnknown.arg(timer.problem);
}

// Where the lines of the runs without a console are kept, where nothing else
// keeps them (Windows); empty elsewhere.
QString RunLog()
{
    return QDir::toNativeSeparators(RunLogPath());
}

QString RunLogText()
{
    const QString log = RunLog();
    return log.isEmpty() ? QString() : QStringLiteral("run log: %1\n").arg(log);
}

QString Text(const QList<DeviceStatus>& devices, const TimerState& timer, const QDateTime& now)
{
    QString text;
    for (const DeviceStatus& device : devices)
        text += DeviceText(device, now) + QLatin1Char('\n');
    const Totals totals = Count(devices);
    text += QStringLiteral("%1 device(s): %2 succeeded, %3 failed, %4 without a record\n")
                .arg(devices.size())
                .arg(totals.succeeded)
                .arg(totals.failed)
                .arg(totals.withoutRecord);
    return text + QStringLiteral("next run: %1\n").arg(TimerText(timer, now)) + RunLogText();
}

QJsonValue TimeJson(const QDateTime& at)
{
    return at.isValid() ? QJsonValue(at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODate))
                        : QJsonValue();
}

QJsonObject DeviceJson(const DeviceStatus& device, const QDateTime& now)
{
    QJsonObject object{{QStringLiteral("name"), device.name},
                       {QStringLiteral("device_id"), device.deviceId},
                       {QStringLiteral("succeeded"), device.Succeeded()}};
    if (device.run.state == LastRunRead::State::Found) {
        QJsonObject run = ToJson(device.run.record);
        run.remove(QStringLiteral("name"));
        run.insert(QStringLiteral("age_seconds"), AgeSeconds(device.run.record.startedAt, now));
        object.insert(QStringLiteral("last_run"), run);
    } else {
        object.insert(QStringLiteral("last_run"), QJsonValue());
        object.insert(QStringLiteral("no_record"), device.run.state == LastRunRead::State::Missing
                                                       ? QStringLiteral("not run yet")
                                                       : QStringLiteral("unreadable"));
    }
    object.insert(QStringLiteral("last_success"),
                  device.lastSuccess
                      ? QJsonValue(QJsonObject{
                            {QStringLiteral("at"), TimeJson(*device.lastSuccess)},
                            {QStringLiteral("age_seconds"), AgeSeconds(*device.lastSuccess, now)}})
                      : QJsonValue());
    return object;
}

QByteArray Json(const QList<DeviceStatus>& devices, const TimerState& timer, const QDateTime& now,
                int exitStatus)
{
    QJsonArray list;
    for (const DeviceStatus& device : devices)
        list.append(DeviceJson(device, now));
    const Totals totals = Count(devices);
    static const char* const kinds[] = {"unknown", "not-installed", "inactive", "scheduled"};
    const QJsonObject next{
        {QStringLiteral("timer"), kTimerUnit},
        {QStringLiteral("state"), QLatin1String(kinds[int(timer.kind)])},
        {QStringLiteral("at"), TimeJson(timer.next)},
        {QStringLiteral("text"), TimerText(timer, now)},
    };
    const QJsonObject document{
        {QStringLiteral("devices"), list},
        {QStringLiteral("succeeded"), totals.succeeded},
        {QStringLiteral("failed"), totals.failed},
        {QStringLiteral("without_record"), totals.withoutRecord},
        {QStringLiteral("next_run"), next},
        {QStringLiteral("exit_status"), exitStatus},
        {QStringLiteral("run_log"), RunLog().isEmpty() ? QJsonValue() : QJsonValue(RunLog())},
    };
    return QJsonDocument(document).toJson();
}

void Write(FILE* out, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
}

} // namespace

QString StatusFormat(const QStringList& args)
{
    QString format = QStringLiteral("text");
    if (args.size() == 1 && args.first().startsWith(QLatin1String("--format=")))
        format = args.first().mid(9);
    else if (args.size() == 2 && args.first() == QLatin1String("--format"))
        format = args.at(1);
    else if (!args.isEmpty())
        format.clear();
    if (format == QLatin1String("text") || format == QLatin1String("json"))
        return format;
    Write(stderr, QStringLiteral("zelvor-settings: status takes only --format text or --format "
                                 "json, not '%1'\n")
                      .arg(args.join(QLatin1Char(' ')))
                      .toUtf8());
    return {};
}

int PrintStatus(const CConnServerList& devices, bool json, const RegistryStore& registry, FILE* out)
{
    const QDateTime now = systemClock().now();
    QList<DeviceStatus> statuses;
    statuses.reserve(devices.size());
    for (const CConnServer& device : devices)
        statuses.append({device.Name, device.DeviceId, ReadLastRun(registry, device.DeviceId),
                         ReadLastSuccess(registry, device.DeviceId)});
    const TimerState timer = QueryTimer(kTimerUnit);
    const bool allSucceeded =
        std::all_of(statuses.cbegin(), statuses.cend(),
                    [](const DeviceStatus& device) { return device.Succeeded(); });
    const int exitStatus = allSucceeded ? 0 : 1;
    // Where the records belong to the account that runs the all-devices run,
    // another account's reading finds none.
    if (Count(statuses).withoutRecord == statuses.size() &&
        std::none_of(statuses.cbegin(), statuses.cend(),
                     [](const DeviceStatus& device) { return device.lastSuccess.has_value(); }))
        Write(stderr, QStringLiteral("zelvor-settings: no device has a record in %1: %2\n")
                          .arg(registry.KeyPlace(lastrun::kKey), kNoRecordQuestion)
                          .toUtf8());
    Write(out, json ? Json(statuses, timer, now, exitStatus) : Text(statuses, timer, now).toUtf8());
    return exitStatus;
}
