#include "ProgramRun.h"

#include "TempDir.h"
#include "TestDatabase.h"

#include "platform/FileRegistryStore.h"
#include "platform/Progress.h"
#include "settings/CCrypt.h"
#include "settings/SettingsFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

ProgramInstall::ProgramInstall()
{
    if (!dir_.isValid())
        return;
    if (!QFile::copy(QStringLiteral(ZELVOR_PROGRAM_PATH), Program()))
        return;
    QFile::setPermissions(Program(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    FileRegistryStore registry(RegistryRoot());
    ready_ = registry.CreateKey(progress::kStatusKey);
}

QString ProgramInstall::RegistryRoot() const
{
    return dir_.filePath(QStringLiteral("xdg/zelvor/registry/HKEY_CURRENT_USER"));
}

bool ProgramInstall::WriteConfig(const CConnServerList& devices)
{
    CCrypt crypt;
    return SaveSettings(devices, ConfigPath(), crypt);
}

QString ProgramInstall::DevStatus() const
{
    return FileRegistryStore(RegistryRoot())
        .QueryValue(progress::kStatusKey, progress::kStatusValue)
        .value_or(QString());
}

QString ProgramInstall::StoredPassword() const
{
    return FileRegistryStore(RegistryRoot())
        .QueryValue(QStringLiteral("Software\\Zelvor"), QStringLiteral("ZelvorPass"))
        .value_or(QString());
}

ProgramInstall::Result ProgramInstall::RunProgram(const QString& path, const QStringList& arguments,
                                                  const QByteArray& input, int timeoutMs) const
{
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<QProcess> process = Start(path, arguments, input);
    if (!process)
        return {};
    Result result = Finish(*process, timeoutMs);
    result.elapsedMs = timer.elapsed();
    return result;
}

std::unique_ptr<QProcess> ProgramInstall::Start(const QString& path, const QStringList& arguments,
                                                const QByteArray& input) const
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("xdg")));
    env.insert(extraEnv_);
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(dir_.path());
    process->start(path, arguments);
    if (!process->waitForStarted(10000))
        return nullptr;
    process->write(input);
    process->closeWriteChannel();
    return process;
}

QString ProgramStacks(qint64 pid)
{
    if (QStandardPaths::findExecutable(QStringLiteral("gdb")).isEmpty())
        return {};
    QProcess gdb;
    gdb.setProcessChannelMode(QProcess::MergedChannels);
    gdb.start(QStringLiteral("gdb"),
              {QStringLiteral("-p"), QString::number(pid), QStringLiteral("-batch"),
               QStringLiteral("-ex"), QStringLiteral("thread apply all bt")});
    if (!gdb.waitForFinished(60000))
        gdb.kill();
    const QString said = QString::fromUtf8(gdb.readAll());
    QStringList stacks;
    for (const QString& line : said.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1String("Thread ")))
            stacks << line;
    if (stacks.isEmpty())
        stacks << said.trimmed();
    return stacks.join(QLatin1Char('\n'));
}

ProgramInstall::Result ProgramInstall::Finish(QProcess& process, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    Result result;
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        std::fprintf(stderr, "stacks of the program that did not end (pid %lld):\n%s\n",
                     static_cast<long long>(process.processId()),
                     qPrintable(ProgramStacks(process.processId())));
        process.kill();
        process.waitForFinished(5000);
    }
    result.elapsedMs = timer.elapsed();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    result.err += testsupport::DriverMappingNote(result.err);
    return result;
}

QString WritePunchFile(const QString& path, const QList<LogPunch>& punches)
{
    QByteArray text;
    for (const LogPunch& p : punches) {
        const QDate d = p.at.date();
        const QTime t = p.at.time();
        text += QStringLiteral("P %1 %2 %3 %4 %5 %6 %7 %8 %9 %10\n")
                    .arg(p.card)
                    .arg(p.code1)
                    .arg(p.code2)
                    .arg(d.year())
                    .arg(d.month())
                    .arg(d.day())
                    .arg(t.hour())
                    .arg(t.minute())
                    .arg(t.second())
                    .arg(p.code3)
                    .toUtf8();
    }
    return testsupport::WriteBytes(path, text) ? path : QString();
}

QString DbDateText(const QDateTime& at)
{
    return at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
