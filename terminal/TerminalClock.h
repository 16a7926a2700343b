#pragma once

#include "terminal/CTerminalLink.h"

#include <QDateTime>
#include <QString>

class Clock;

// A terminal's clock against the host's. Every punch carries the terminal's
// time, so a drifted clock is wrong attendance; the program reports the drift
// and sets the clock on request, and never shifts a punch.

struct ClockReading {
    bool read = false;        // the terminal told a valid time
    TerminalTime time;        // what it told
    qint64 offsetSeconds = 0; // terminal minus host; positive: the terminal is ahead
    QString problem;          // why there is no reading
};

// Reads the terminal's clock over the open link (machine 1) and compares it
// with the host's, both as the wall-clock times they show.
ClockReading ReadTerminalClock(CTerminalLink& link, const Clock& clock);

// Sets the terminal's clock to the host's local time (to the nearest second),
// then reads it back.
ClockReading SetTerminalClock(CTerminalLink& link, const Clock& clock);

// "3 min 5 s ahead of", "12 s behind", "in step with": the offset against
// "this host's clock".
QString OffsetText(qint64 offsetSeconds);

// "set it with zelvor-settings set-clock NAME": what to do about a drifted clock.
QString SetClockHint(const QString& deviceName);

// The terminal time as a wall-clock value (no time zone).
QDateTime WallClock(const TerminalTime& time);
