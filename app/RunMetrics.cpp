#include "app/RunMetrics.h"

#include "platform/AtomicFile.h"

namespace {

// A label value: backslash, double quote and line feed escaped.
QString LabelValue(const QString& text)
{
    QString value = text;
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    value.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return value;
}

QString Number(double value)
{
    return QString::number(value, 'f', value == qint64(value) ? 0 : 3);
}

QString Seconds(const QDateTime& at)
{
    return QString::number(at.toSecsSinceEpoch());
}

// One metric: its help and type lines, then one sample per entry.
class MetricWriter {
public:
    explicit MetricWriter(QString& out) : out_(out) {}
    void Begin(const char* name, const char* help)
    {
        name_ = QLatin1String(name);
        out_ += QStringLiteral("# HELP %1 %2\n# TYPE %1 gauge\n").arg(name_, QLatin1String(help));
    }
    void Sample(const QString& value, const QString& labels = {})
    {
        out_ += name_ +
                (labels.isEmpty() ? QString() : QLatin1Char('{') + labels + QLatin1Char('}')) +
                QLatin1Char(' ') + value + QLatin1Char('\n');
    }

private:
    QString& out_;
    QString name_;
};

} // namespace

QString RunMetricsText(const RunReport& report, const QList<std::optional<QDateTime>>& lastSuccess,
                       const QDateTime& endedAt, double runSeconds)
{
    QString out;
    MetricWriter metric(out);
    metric.Begin("zelvor_run_exit_status",
                 "Exit status of the last all-devices run (0: every device succeeded).");
    metric.Sample(QString::number(report.ExitStatus()));
    metric.Begin("zelvor_run_timestamp_seconds", "When the last all-devices run ended.");
    metric.Sample(Seconds(endedAt));
    metric.Begin("zelvor_run_duration_seconds", "How long the last all-devices run took.");
    metric.Sample(Number(runSeconds));
    metric.Begin("zelvor_run_devices", "Devices in the last all-devices run.");
    metric.Sample(QString::number(report.devices));

    QStringList labels;
    for (const DeviceOutcome& device : report.outcomes)
        labels.append(QStringLiteral("device=\"%1\",device_id=\"%2\"")
                          .arg(LabelValue(device.name), LabelValue(device.deviceId)));
    struct Column {
        const char* name;
        const char* help;
        std::function<QString(const DeviceOutcome&)> value;
    };
    const Column columns[] = {
        {"zelvor_device_last_run_timestamp_seconds", "When the device's last run started.",
         [](const DeviceOutcome& d) { return Seconds(d.startedAt); }},
        {"zelvor_device_failed", "1 when the device's last run failed.",
         [](const DeviceOutcome& d) { return QString::number(d.Ok() ? 0 : 1); }},
        {"zelvor_device_punches_in_range", "Punches of the date range downloaded in the last run.",
         [](const DeviceOutcome& d) { return QString::number(d.inRange); }},
        {"zelvor_device_punches_posted", "Punches posted as new movements in the last run.",
         [](const DeviceOutcome& d) { return QString::number(d.posting.inserted); }},
        {"zelvor_device_punches_skipped", "Punches already in the table in the last run.",
         [](const DeviceOutcome& d) { return QString::number(d.posting.skipped); }},
        {"zelvor_device_punches_refused", "Punches the database refused in the last run.",
         [](const DeviceOutcome& d) { return QString::number(d.posting.failed); }},
        {"zelvor_device_duration_seconds", "How long the device's last run took.",
         [](const DeviceOutcome& d) { return Number(d.seconds); }},
    };
    for (const Column& column : columns) {
        metric.Begin(column.name, column.help);
        for (qsizetype i = 0; i < report.outcomes.size(); ++i)
            metric.Sample(column.value(report.outcomes.at(i)), labels.at(i));
    }
    metric.Begin("zelvor_device_clock_offset_seconds",
                 "The terminal's clock minus this host's in the last run (absent when unread).");
    for (qsizetype i = 0; i < report.outcomes.size(); ++i)
        if (report.outcomes.at(i).clock.read)
            metric.Sample(QString::number(report.outcomes.at(i).clock.offsetSeconds), labels.at(i));
    metric.Begin("zelvor_device_last_success_timestamp_seconds",
                 "When the device last had a fully successful run.");
    for (qsizetype i = 0; i < report.outcomes.size() && i < lastSuccess.size(); ++i)
        if (lastSuccess.at(i))
            metric.Sample(Seconds(*lastSuccess.at(i)), labels.at(i));
    return out;
}

bool WriteRunMetrics(const QString& path, const QString& text)
{
    return WriteFileAtomically(path, text.toUtf8(), 0644);
}
