#pragma once

#include "app/DeviceRun.h"

#include <QList>

// What the start-up run did: enough to decide whether the window is shown and
// which exit status a scheduler sees.
struct RunReport {
    enum class Mode { Interactive, AllDevices, SingleTerminal };
    Mode mode = Mode::Interactive;
    bool endRequested = false;     // the run asked for the program's end
    int devices = 0;               // devices the run worked on
    int failed = 0;                // of which failed (connection, download or posting)
    int gateResult = -1;           // result of the password gate; -1 when not asked
    QList<DeviceOutcome> outcomes; // of an all-devices run, in the order of the device list

    // 0 when every device of the run succeeded, 1 when any failed. An
    // all-devices run without devices has transferred nothing and counts as a
    // failure; a refused password too. An interactive session exits 0.
    int ExitStatus() const;
};
