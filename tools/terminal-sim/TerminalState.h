#pragma once

#include <QString>

// Whether the simulated terminal takes punches (keypad and reader enabled).
// Every change is reported as a line "active 0" or "active 1" on standard
// output and, with a state file, written there atomically, so tests can check
// that no fault leaves the terminal switched off.
class TerminalState {
public:
    explicit TerminalState(QString stateFile);

    bool Active() const { return active_; }
    void SetActive(bool active);

private:
    void Write() const;

    QString stateFile_;
    bool active_ = true;
};
