#include "CheckCommand.h"

#include "app/DeviceCheck.h"
#include "app/DriverWarnings.h"
#include "platform/Clock.h"
#include "platform/InstallLayout.h"
#include "terminal/NetTerminalLink.h"

namespace {

void PrintLine(FILE* out, const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
}

} // namespace

QStringList CheckReportLines(const DeviceCheckResult& result)
{
    QStringList lines;
    const StepResult* failure = result.FirstFailure();
    for (const StepResult& step : result.steps) {
        QString line =
            QStringLiteral("%1: %2: ").arg(result.name, StepName(step.step, result.driver));
        switch (step.verdict) {
        case Verdict::Ok:
            line += QStringLiteral("ok, ") + step.detail;
            break;
        case Verdict::Warning:
            line += QStringLiteral("WARNING, %1; hint: %2").arg(step.detail, step.hint);
            break;
        case Verdict::Failed:
            line += QStringLiteral("FAILED, %1; hint: %2").arg(step.detail, step.hint);
            break;
        case Verdict::Skipped:
            line += QStringLiteral("skipped");
            if (failure && step.step > failure->step)
                line += QStringLiteral(" (%1 failed)").arg(StepName(failure->step, result.driver));
            break;
        }
        lines.append(line);
    }
    lines.append(failure ? QStringLiteral("%1: FAILED at %2")
                               .arg(result.name, StepName(failure->step, result.driver))
                         : QStringLiteral("%1: passed").arg(result.name));
    return lines;
}

int CheckDevices(const CConnServerList& devices, int deviceTimeoutSeconds, FILE* out)
{
    RouteDriverWarnings();
    NetTerminalLink link;
    // The run's default export folder: the check tries it as the run writes it.
    DeviceCheckTools tools{.link = link,
                           .clock = systemClock(),
                           .exeFolder = StateFolder(),
                           .deadlineSeconds = deviceTimeoutSeconds};
    int failed = 0;
    for (const CConnServer& device : devices) {
        const DeviceCheckResult result = CheckDevice(device, tools);
        if (!result.Passed())
            ++failed;
        for (const QString& line : CheckReportLines(result))
            PrintLine(out, line);
        std::fflush(out);
    }
    PrintLine(out,
              QStringLiteral("checked %1 device(s), %2 failed").arg(devices.size()).arg(failed));
    return failed == 0 ? 0 : 1;
}
