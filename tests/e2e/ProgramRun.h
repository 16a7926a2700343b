#pragma once

#include "store/Records.h"

#include <QByteArray>
#include <QDate>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QProcess;

// One installation of the program in a temporary folder, as an operator would
// have it: the executable with config.ini and the log folder beside it, and a
// registry of its own (XDG_CONFIG_HOME) whose DevStatus key the host suite has
// created. Runs the program as a process, without a display.
class ProgramInstall {
public:
    ProgramInstall();

    bool Ready() const { return ready_; }
    QString Folder() const { return dir_.path(); }
    QString Program() const { return dir_.filePath(QStringLiteral("zelvor")); }
    QString ConfigPath() const { return dir_.filePath(QStringLiteral("config.ini")); }
    QString RegistryRoot() const;

    // Writes config.ini for these devices as the settings dialog would save it.
    bool WriteConfig(const CConnServerList& devices);
    // The last progress code, empty when none was written.
    QString DevStatus() const;
    QString StoredPassword() const;

    struct Result {
        int exitCode = -1;
        bool finished = false;
        QString out;
        QString err;
        qint64 elapsedMs = 0;
    };
    // Adds a variable to the environment of every later run.
    void SetEnvironment(const QString& name, const QString& value)
    {
        extraEnv_.insert(name, value);
    }

    // Runs the program with these arguments; stdin receives input, then closes.
    Result Run(const QStringList& arguments, const QByteArray& input = {},
               int timeoutMs = 120000) const
    {
        return RunProgram(Program(), arguments, input, timeoutMs);
    }
    // The same for another program of the installation (zelvor-settings).
    Result RunProgram(const QString& path, const QStringList& arguments,
                      const QByteArray& input = {}, int timeoutMs = 120000) const;

    // The same in two steps, for several runs at once: Start returns the
    // running process (null when it did not start), Finish waits for it.
    std::unique_ptr<QProcess> Start(const QStringList& arguments,
                                    const QByteArray& input = {}) const
    {
        return Start(Program(), arguments, input);
    }
    std::unique_ptr<QProcess> Start(const QString& path, const QStringList& arguments,
                                    const QByteArray& input = {}) const;
    static Result Finish(QProcess& process, int timeoutMs = 120000);

private:
    QTemporaryDir dir_;
    bool ready_ = false;
    QProcessEnvironment extraEnv_;
};

// A punch log file for the simulator: one line per punch, "card y m d h mi s".
struct LogPunch {
    QString card;
    QDateTime at;
    int code1 = 1;
    int code2 = 0;
    int code3 = 0;
};
QString WritePunchFile(const QString& path, const QList<LogPunch>& punches);

// The threads' stacks of a running program (empty without gdb), so that a rare
// hang can be read.
QString ProgramStacks(qint64 pid);

// "yyyy-MM-dd HH:mm:ss" of a punch, as the test database shows Date.
QString DbDateText(const QDateTime& at);
