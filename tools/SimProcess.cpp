#include "SimProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <algorithm>

SimProcess::~SimProcess()
{
    Stop();
}

QString SimProcess::Program()
{
    const QString fromEnvironment = qEnvironmentVariable("ZELVOR_TERMINAL_SIM");
    return fromEnvironment.isEmpty() ? QStringLiteral(ZELVOR_TERMINAL_SIM_PATH) : fromEnvironment;
}

bool SimProcess::Start(const QStringList& options, int timeoutMs)
{
    Stop();
    QStringList arguments = options;
    if (!arguments.contains(QStringLiteral("--port")))
        arguments << QStringLiteral("--port") << QStringLiteral("0");
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A loaded machine (Wine above all) now and then fails to create the
    // process at all; that is retried until the deadline, not reported.
    const QDeadlineTimer until(std::max(timeoutMs, 1));
    for (;;) {
        process_.start(Program(), arguments);
        if (process_.waitForStarted(int(std::max<qint64>(1, until.remainingTime()))))
            break;
        if (process_.error() != QProcess::FailedToStart || until.hasExpired() ||
            !QFile::exists(Program())) {
            error_ = QStringLiteral("cannot start %1: %2").arg(Program(), process_.errorString());
            return false;
        }
        QThread::msleep(200);
    }
    while (!process_.canReadLine()) {
        if (!process_.waitForReadyRead(timeoutMs)) {
            error_ = QStringLiteral("the simulator did not say where it listens");
            Stop();
            return false;
        }
    }
    const QStringList words =
        QString::fromUtf8(process_.readLine()).trimmed().split(QLatin1Char(' '));
    if (words.size() != 3 || words[0] != QLatin1String("listening")) {
        error_ = QStringLiteral("unexpected first line from the simulator");
        Stop();
        return false;
    }
    address_ = words[1];
    port_ = words[2].toInt();
    activeChanges_.clear();
    return true;
}

void SimProcess::ReadReports()
{
    while (process_.canReadLine()) {
        const QByteArray line = process_.readLine().trimmed();
        if (line == "active 0" || line == "active 1")
            activeChanges_ += QLatin1Char(line.back());
    }
}

bool SimProcess::Active()
{
    process_.waitForReadyRead(0);
    ReadReports();
    return activeChanges_.isEmpty() || activeChanges_.back() == QLatin1Char('1');
}

bool SimProcess::WaitForActive(bool active, int timeoutMs)
{
    QDeadlineTimer until(timeoutMs);
    while (Active() != active) {
        if (until.hasExpired() || process_.state() != QProcess::Running)
            return false;
        process_.waitForReadyRead(int(std::max<qint64>(1, until.remainingTime())));
    }
    return true;
}

QString SimProcess::ActiveChanges()
{
    Active();
    return activeChanges_;
}

void SimProcess::Stop()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

qint64 SimProcess::PeakMemoryKiB() const
{
    return process_.state() == QProcess::Running ? ::PeakMemoryKiB(Pid()) : -1;
}

qint64 PeakMemoryKiB(qint64 pid)
{
    QFile status(pid == 0 ? QStringLiteral("/proc/self/status")
                          : QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}
