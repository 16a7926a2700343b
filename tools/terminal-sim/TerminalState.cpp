#include "TerminalState.h"

#include "platform/AtomicFile.h"

#include <cstdio>

TerminalState::TerminalState(QString stateFile, qint64 clockOffsetSeconds)
    : stateFile_(std::move(stateFile)), clockOffsetMs_(clockOffsetSeconds * 1000)
{
    Write();
}

QDateTime TerminalState::Now() const
{
    // Wall-clock values without a time zone, as a terminal keeps them.
    const QDateTime local = QDateTime::currentDateTime();
    const QDateTime now = QDateTime(local.date(), local.time(), Qt::UTC).addMSecs(clockOffsetMs_);
    return now.addMSecs(-now.time().msec());
}

void TerminalState::SetNow(const QDateTime& time)
{
    const QDateTime local = QDateTime::currentDateTime();
    clockOffsetMs_ = QDateTime(local.date(), local.time(), Qt::UTC).msecsTo(time);
}

void TerminalState::SetActive(bool active)
{
    if (active == active_)
        return;
    active_ = active;
    std::printf("active %d\n", active ? 1 : 0);
    std::fflush(stdout);
    Write();
}

// A state file that cannot be written is said on standard error: a test
// waiting for it would otherwise only time out.
void TerminalState::Write() const
{
    if (!stateFile_.isEmpty() &&
        !WriteFileAtomically(stateFile_, active_ ? "active 1\n" : "active 0\n"))
        std::fprintf(stderr, "terminal-sim: cannot write the state file %s\n",
                     qPrintable(stateFile_));
}
