#include "platform/MessageSink.h"
#include "platform/SystemdTimer.h"

#include <QProcess>

TimerState QueryTimer(const QString& unit, int timeoutMs)
{
    QProcess systemctl;
    systemctl.start(QStringLiteral("systemctl"),
                    {QStringLiteral("show"), QStringLiteral("--timestamp=unix"),
                     QStringLiteral("--property=LoadState,ActiveState,UnitFileState,"
                                    "NextElapseUSecRealtime"),
                     QStringLiteral("--"), unit});
    TimerState failed;
    if (!systemctl.waitForStarted(timeoutMs)) {
        failed.problem = QStringLiteral("systemctl cannot be started: ") + systemctl.errorString();
        return failed;
    }
    if (!systemctl.waitForFinished(timeoutMs)) {
        systemctl.kill();
        systemctl.waitForFinished(1000);
        failed.problem =
            QStringLiteral("systemctl did not answer within %1 s").arg(timeoutMs / 1000);
        return failed;
    }
    const QString said = QString::fromLocal8Bit(systemctl.readAllStandardError()).trimmed();
    if (systemctl.exitStatus() != QProcess::NormalExit || systemctl.exitCode() != 0) {
        failed.problem = said.isEmpty() ? QStringLiteral("systemctl failed") : OneLine(said);
        return failed;
    }
    return ParseTimerShow(QString::fromLocal8Bit(systemctl.readAllStandardOutput()));
}
