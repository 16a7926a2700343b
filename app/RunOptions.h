#pragma once

#include <QDate>
#include <QString>

// How the start-up run works, from the program's long options.
struct RunOptions {
    // Devices of the all-devices run processed at the same time: downloads
    // run side by side, postings take turns in the order of the device list.
    // 1 runs one device after the other. Measured over 20 terminals of 10,000
    // punches at 5,000 punches per second (bench/SiteBench.cpp): 16 jobs take
    // a seventh of the time of one job, at 1.85 times its peak memory; 20 take
    // a little less time and just over twice the memory.
    static constexpr int kDefaultJobs = 16;
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

    // The all-devices run warns about a terminal whose clock is further than
    // this from the host's (its punches carry that time).
    static constexpr int kDefaultClockLimitSeconds = 120;
    int clockLimitSeconds = kDefaultClockLimitSeconds;

    // Where the all-devices run writes its metrics; empty: nowhere.
    QString metricsPath;

    // The first day of the all-devices run's range for every device (--since),
    // for posting again after the suite's table was restored from a backup;
    // invalid: the first of the month, or the day of the last success.
    QDate since;
};
