#pragma once

#include "app/DeviceSession.h"
#include "store/MovementPosting.h"
#include "store/Records.h"
#include "store/TerminalAddress.h"
#include "terminal/TerminalClock.h"
#include "terminal/TransferContext.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

// How one device of the all-devices run went: its outcome line and the
// figures of the metrics file.
struct DeviceOutcome {
    QString name; // the device's name, or its ID when it has none
    QString deviceId;
    qint64 inRange = 0; // punches downloaded in the date range
    PostingSummary posting;
    bool downloaded = false; // the download ran to its end
    bool posted = false;     // the posting ran to its end
    QString failure;         // why the device failed; empty when it did not
    QDateTime startedAt;
    double seconds = 0;
    ClockReading clock;        // the terminal's clock, read after connecting
    DownloadReport download;   // what the download did (received, cancelled, export file)
    bool linkReopened = false; // the link the terminal had ended was opened again for it

    // Downloaded, posted without a refused row, export written.
    bool Ok() const { return failure.isEmpty(); }

    // "Gate1: 40 punches in range, 12 posted, 28 already present, 0 refused",
    // or "Gate1: FAILED, ..." with the reason.
    QString Line() const;
};

// What a device run works with, besides its session's tools.
struct DeviceRunTools {
    SessionTools session;
    // Waits until this device may post (a parallel run posts in the order of
    // the device list); may be empty.
    std::function<void()> awaitPostingTurn = {};
    // The all-devices run connects, reads the terminal's clock and ends the
    // link at the end. The pull button downloads over the link the operator
    // opened to this device (its terminal; not complete without a link: the
    // download then says "connect first") and leaves it open.
    std::optional<TerminalAddress> openLink = {};
    // Whether a complete download is posted: not for a terminal that is no
    // configured device (one given on the command line).
    bool post = true;
    // Told while punches arrive; false cancels the download. May be empty.
    std::function<bool(qint64 received, qint64 announced)> onPunches = {};
    // Told as the punches are staged, and when they are merged. May be empty.
    PostingProgress onPosting = {};
};

// Runs one device: its session (app/DeviceSession.h) looks the terminal up,
// connects (see DeviceRunTools) and downloads the punches of range into the
// export file, and the punches are posted on the session's own database
// connection, staged while they arrive, with a movement list of its own (so a
// failed device leaves nothing behind for the next one). A device that passes
// its deadline fails with the reason.
DeviceOutcome RunOneDevice(CConnServer& record, const DownloadRange& range, DeviceRunTools& tools);
