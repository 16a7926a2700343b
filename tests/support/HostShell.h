#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

// What a shell command of the test machine gave.
struct HostShellResult {
    bool ran = false; // false: it could not be run, or timed out (problem says which)
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QString problem;
};

// Runs `sh -c command` on the test machine with input on its standard input.
// On Windows, under Wine, a Linux process that a Windows one starts cannot be
// waited for: the command goes to the host's shell server instead
// (scripts/windows test), through the folder named by ZELVOR_HOST_SHELL.
HostShellResult RunHostShell(const QString& command, const QByteArray& input, int timeoutMs);

} // namespace testsupport
