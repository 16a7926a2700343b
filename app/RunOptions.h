#pragma once

#include <QString>

// How the start-up run works, from the program's long options.
struct RunOptions {
    // Devices of the all-devices run processed at the same time: downloads
    // run side by side, postings to one database take turns. 1 runs one
    // device after the other.
    static constexpr int kDefaultJobs = 4;
    static constexpr int kMaxJobs = 64;
    int jobs = kDefaultJobs;

    // A device that takes longer than this (download and posting) fails, and
    // the run goes on with the next. 0: no limit.
    static constexpr int kDefaultDeviceTimeoutSeconds = 600;
    int deviceTimeoutSeconds = kDefaultDeviceTimeoutSeconds;

    // How long an all-devices run waits for another run of this installation
    // to end before it gives up.
    static constexpr int kDefaultRunLockWaitMs = 5 * 60 * 1000;
    int runLockWaitMs = kDefaultRunLockWaitMs;

    // Where the all-devices run writes its metrics; empty: nowhere.
    QString metricsPath;
};
