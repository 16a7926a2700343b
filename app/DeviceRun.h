#pragma once

#include "app/DeviceSession.h"
#include "store/MovementPosting.h"
#include "store/Records.h"
#include "terminal/TerminalClock.h"
#include "terminal/TransferContext.h"

#include <QDateTime>
#include <QString>

#include <functional>

// How one device's way went: its outcome line and the figures of the metrics file.
struct DeviceOutcome {
    QString name; // DeviceLabel
    QString deviceId;
    qint64 inRange = 0; // punches downloaded in the date range
    PostingSummary posting;
    bool downloaded = false;  // the punch log was read to its end
    bool postingDone = false; // the posting ran to its end
    QString failure;          // why the device failed; empty when it did not
    QDateTime startedAt;
    double seconds = 0;
    ClockReading clock;        // the terminal's clock, read after connecting
    DownloadReport download;   // what the download did (received, cancelled, export file)
    bool linkReopened = false; // the link the terminal had ended was opened again for it

    // Downloaded, export written, posted (where the plan posts) without a refused row.
    bool Ok() const { return failure.isEmpty(); }

    // "Gate1: 40 punches in range, 12 posted, 28 already present, 0 refused",
    // "Gate1: 40 punches in range downloaded, not posted", or "Gate1: FAILED, "
    // with the reason (and the figures after it when only the export failed).
    QString Line() const;
};

// What a device's way works with, besides its session's tools.
struct DeviceRunTools {
    SessionTools session;
    // Waits until this device may post (a parallel run posts in the order of
    // the device list); may be empty.
    std::function<void()> awaitPostingTurn = {};
    // Told while punches arrive; false cancels the download. May be empty.
    std::function<bool(qint64 received, qint64 announced)> onPunches = {};
    // Told as the punches are staged, and when they are merged. May be empty.
    PostingProgress onPosting = {};
};

// The ways a device is walked, derived from one another here so that they
// never part.
// The all-devices run: look the terminal up, connect, read its clock, download
// into the day's export file, post.
SessionPlan RunPlan();
// The run's way with the posting left out and the export file tried (written
// aside and dropped): what the device check walks.
SessionPlan CheckPlan();
// The window's pull over the operator's link to linkAddress (not complete
// without a link: the download then says "connect first"): no clock, and no
// posting for a terminal that is no configured device.
SessionPlan PullPlan(const TerminalAddress& linkAddress, bool configuredDevice);

// Walks a device's way over range: its session (app/DeviceSession.h) looks
// the terminal up, connects and downloads into the export file, and, where the
// plan says so, the punches are posted on the session's own database
// connection, staged while they arrive, with a movement list of its own (so a
// failed device leaves nothing behind for the next one). A complete download
// is posted even when its export file could not be written (the device fails
// all the same). A device that passes its deadline fails with the reason.
DeviceOutcome WalkDevice(DeviceSession& session, const SessionPlan& plan,
                         const DownloadRange& range, DeviceRunTools& tools);
// The same with a session of its own on record.
DeviceOutcome RunOneDevice(CConnServer& record, const DownloadRange& range, const SessionPlan& plan,
                           DeviceRunTools& tools);
