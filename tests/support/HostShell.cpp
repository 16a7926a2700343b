#include "HostShell.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QUuid>

namespace testsupport {

namespace {

#ifdef Q_OS_WIN
bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A request is NAME.sh and NAME.in, announced by NAME.ready; the server
// answers with NAME.out and NAME.err, then NAME.code (the exit status).
HostShellResult ThroughServer(const QString& command, const QByteArray& input, int timeoutMs)
{
    HostShellResult result;
    const QString folder = qEnvironmentVariable("ZELVOR_HOST_SHELL");
    if (folder.isEmpty() || !QDir(folder).exists()) {
        result.problem = QStringLiteral("no host shell server (ZELVOR_HOST_SHELL; scripts/windows "
                                        "test starts one)");
        return result;
    }
    const QString base = QDir(folder).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!WriteAll(base + QStringLiteral(".sh"), command.toUtf8()) ||
        !WriteAll(base + QStringLiteral(".in"), input) ||
        !WriteAll(base + QStringLiteral(".ready"), {})) {
        result.problem = QStringLiteral("cannot write the request into ") + folder;
        return result;
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (!QFile::exists(base + QStringLiteral(".code"))) {
        if (deadline.hasExpired()) {
            result.problem = QStringLiteral("timed out");
            return result;
        }
        QThread::msleep(20);
    }
    result.ran = true;
    result.exitCode = ReadAll(base + QStringLiteral(".code")).trimmed().toInt();
    result.out = ReadAll(base + QStringLiteral(".out"));
    result.err = ReadAll(base + QStringLiteral(".err"));
    for (const char* end : {".sh", ".in", ".out", ".err", ".code"})
        QFile::remove(base + QLatin1String(end));
    return result;
}
#endif

} // namespace

HostShellResult RunHostShell(const QString& command, const QByteArray& input, int timeoutMs)
{
#ifdef Q_OS_WIN
    return ThroughServer(command, input, timeoutMs);
#else
    HostShellResult result;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (!process.waitForStarted(10000)) {
        result.problem = QStringLiteral("cannot run");
        return result;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.problem = QStringLiteral("timed out");
        return result;
    }
    result.ran = true;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
#endif
}

} // namespace testsupport
