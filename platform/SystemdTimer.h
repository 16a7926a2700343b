#pragma once

#include <QDateTime>
#include <QString>

// What systemd says of a timer unit: whether it is installed and started, and
// when it next starts its service.
struct TimerState {
    enum class Kind {
        Unknown,      // systemd could not be asked (not running here, no systemctl)
        NotInstalled, // systemd knows no such unit
        Inactive,     // installed, not started
        Scheduled,    // started; next is when it elapses (invalid when systemd names no time)
    };
    Kind kind = Kind::Unknown;
    QDateTime next;
    QString enabled; // the unit file's state: enabled, disabled, ...
    QString problem; // Unknown: why, in systemctl's words
};

// The answer of `systemctl show --timestamp=unix` with the properties LoadState,
// ActiveState, UnitFileState and NextElapseUSecRealtime.
TimerState ParseTimerShow(const QString& output);

// Asks systemctl about the unit, waiting at most timeoutMs; reads only. On
// Windows, where the installer's scheduled task starts the run, Unknown with
// the command that shows it.
TimerState QueryTimer(const QString& unit, int timeoutMs = 3000);
