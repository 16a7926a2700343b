#pragma once

#include "app/CheckSteps.h"
#include "app/RunOptions.h"
#include "store/Records.h"
#include "terminal/NetTerminalLink.h"
#include "terminal/TerminalClock.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class Clock;
class CTerminalLink;

// A check of one configured device: the run's own way (app/DeviceRun.h
// CheckPlan: database connection, device row, terminal connection with the
// stored link key, the terminal's clock, punch log, export file), with the
// posting left out, the export file written aside and dropped, and no
// DevStatus; then the movement table's cost, which the posting would pay.
// Each step says ok, FAILED with a hint at the usual causes, or skipped when
// the way did not get that far.

struct DeviceCheckResult {
    QString name; // DeviceLabel
    QString deviceId;
    QString driver;          // the ODBC driver's name its connection asks for
    QList<StepResult> steps; // one per CheckStep, in order
    qint64 punches = -1;     // punches in the terminal's log; -1 when not read
    qint64 inRange = -1;     // of which the run's date filter keeps
    QDateTime rangeFrom, rangeTo;
    ClockReading clock; // the terminal's clock against this host's

    bool Passed() const;
    // The first failed step; nullptr when none failed.
    const StepResult* FirstFailure() const;
};

struct DeviceCheckTools {
    CTerminalLink& link;
    const Clock& clock;
    // The folder of the default export folder log/, as the run has it.
    QString exeFolder = {};
    // The check of one device ends by then at the latest (0: only the link's
    // and the login's own time-outs bound it).
    int deadlineSeconds = 0;
    // The link's time-outs, for the probe that tells a silent address from a
    // refused link key.
    int connectTimeoutMs = NetTerminalLink::kDefaultConnectTimeoutMs;
    int readTimeoutMs = NetTerminalLink::kDefaultReadTimeoutMs;
    // A terminal clock further off than this is a warning.
    int clockLimitSeconds = RunOptions::kDefaultClockLimitSeconds;
    // Told each statement the device's database connection sends; may be empty.
    std::function<void(const QString&)> statementTrace = {};
};

// Checks one device over this month's range, from the first of the month to
// now (a run may start earlier, at the day of the device's last success).
DeviceCheckResult CheckDevice(const CConnServer& record, DeviceCheckTools& tools);
