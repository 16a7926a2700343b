#include "TerminalState.h"

#include "platform/AtomicFile.h"

#include <cstdio>

TerminalState::TerminalState(QString stateFile) : stateFile_(std::move(stateFile))
{
    Write();
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
