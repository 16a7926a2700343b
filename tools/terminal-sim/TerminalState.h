#pragma once

#include <QDateTime>
#include <QString>

// What the simulated terminal keeps between sessions: whether it takes
// punches (keypad and reader enabled), and its clock.
// Every change of the active state is reported as a line "active 0" or
// "active 1" on standard output and, with a state file, written there
// atomically, so tests can check that no fault leaves the terminal switched
// off. The clock runs at the host's pace, offset by what it was set to.
class TerminalState {
public:
    TerminalState(QString stateFile, qint64 clockOffsetSeconds);

    bool Active() const { return active_; }
    void SetActive(bool active);

    // The terminal's clock: the host's local time plus the offset, in whole seconds.
    QDateTime Now() const;
    void SetNow(const QDateTime& time);

private:
    void Write() const;

    QString stateFile_;
    bool active_ = true;
    qint64 clockOffsetMs_;
};
