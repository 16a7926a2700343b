#pragma once

#include "app/RunOptions.h"
#include "store/Records.h"
#include "terminal/NetTerminalLink.h"
#include "terminal/TerminalClock.h"

#include <QDateTime>
#include <QList>
#include <QString>

class Clock;
class CTerminalLink;

// A check of one configured device that walks the way of a run (database
// connection, device row, the movement table's cost, terminal connection with
// the stored link key, the terminal's clock, punch log, date range) through the
// run's own operations, but changes nothing: no posting, no export file, no
// DevStatus, and the terminal is never disabled. Each step says ok, FAILED
// with a hint at the usual causes, or skipped when an earlier step it needs
// failed.

enum class CheckStep {
    Driver,
    Login,
    DeviceRow,
    MovementTable, // the duplicate check's cost (app/MovementTableStep.h)
    Terminal,
    LinkKey,
    Clock,
    PunchLog,
};
// A warning is a finding a run goes on with (it passes the check).
enum class Verdict { Ok, Warning, Failed, Skipped };

struct StepResult {
    CheckStep step = CheckStep::Driver;
    Verdict verdict = Verdict::Skipped;
    QString detail; // what was found, or what went wrong
    QString hint;   // for a failure: where to look
};

struct DeviceCheckResult {
    QString name; // the device's name, or its ID when it has none
    QString deviceId;
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
    // The check of one device ends by then at the latest (0: only the link's
    // and the login's own time-outs bound it).
    int deadlineSeconds = 0;
    // The link's time-outs, for the probe that tells a silent address from a
    // refused link key.
    int connectTimeoutMs = NetTerminalLink::kDefaultConnectTimeoutMs;
    int readTimeoutMs = NetTerminalLink::kDefaultReadTimeoutMs;
    // A terminal clock further off than this is a warning.
    int clockLimitSeconds = RunOptions::kDefaultClockLimitSeconds;
};

// Checks one device over this month's range, from the first of the month to
// now (a run may start earlier, at the day of the device's last success).
DeviceCheckResult CheckDevice(const CConnServer& record, DeviceCheckTools& tools);

// The step's name in the report: "ODBC driver \"SQL Server\"", "database login", ...
QString StepName(CheckStep step);
