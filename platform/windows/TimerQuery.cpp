#include "platform/SystemdTimer.h"

// Windows has no systemd: the installer's scheduled task starts the run, and
// the Task Scheduler shows when it next does.
TimerState QueryTimer(const QString&, int)
{
    TimerState state;
    state.problem = QStringLiteral("on Windows the scheduled task \"Zelvor scheduled run\" starts "
                                   "the run: schtasks /Query /TN \"Zelvor scheduled run\" shows "
                                   "when");
    return state;
}
