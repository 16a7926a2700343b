#pragma once

#include "store/MovementPosting.h"
#include "store/Records.h"
#include "store/TerminalAddress.h"
#include "terminal/TerminalClock.h"
#include "terminal/TransferContext.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

class Clock;
class CTerminalLink;
class MessageSink;
class ProgressSink;

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
    QString exportProblem;   // why the export file was not written; empty when it was
    QDateTime startedAt;
    double seconds = 0;
    ClockReading clock;      // the terminal's clock, read after connecting
    DownloadReport download; // what the download did (received, cancelled, export file)

    // Downloaded, posted without a refused row, export written.
    bool Ok() const { return failure.isEmpty(); }

    // "Gate1: 40 punches in range, 12 posted, 28 already present, 0 refused",
    // or "Gate1: FAILED, ..." with the reason.
    QString Line() const;
};

// What a device run works with. link, progress and messages belong to this
// run alone while it lasts (a thread of its own in a parallel run).
struct DeviceRunTools {
    CTerminalLink& link;
    ProgressSink& progress;
    MessageSink& messages;
    const Clock& clock;
    QString exeFolder;
    int deviceTimeoutSeconds = 0; // 0: no limit beyond the link's own time-outs
    // Waits until this device may post (a parallel run posts in the order of
    // the device list); may be empty.
    std::function<void()> awaitPostingTurn = {};

    // The all-devices run connects, reads the terminal's clock and closes the
    // link at the end. The pull button downloads over the link the operator
    // opened (without one it reports "5") and leaves it as it is.
    bool useOpenLink = false;
    // The all-devices run posts what a complete download brought. A pull of a
    // selected device posts also after a failed download (an empty list); a
    // pull without a selected device posts nothing.
    enum class Posting { AfterDownload, Always, Never };
    Posting posting = Posting::AfterDownload;
    // Told while punches arrive; false cancels the download. May be empty.
    std::function<bool(qint64 received, qint64 announced)> onPunches = {};
    // Told at the start of the posting and after each batch. May be empty.
    PostingProgress onPosting = {};
};

// The postings of a parallel run take turns in the order of the device list:
// the table then gets the same rows and numbers as a run of one device after
// the other, and the postings of one process never wait for each other at the
// table lock, whose wait is bounded for the sake of other processes.
class PostingOrder {
public:
    explicit PostingOrder(int count) : done_(std::size_t(count), false) {}
    // Returns once every device before index is done with posting.
    void AwaitTurn(int index);
    // Device index is done: posted, failed, or never got as far.
    void Done(int index);

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<bool> done_;
    int next_ = 0; // first device not done
};

// Why the connection to a device's terminal failed, for its outcome line: no
// address, or what the link said.
QString ConnectFailure(const CConnServer& record, const TerminalAddress& address,
                       const CTerminalLink& link);
// Why its download failed: no link, cancelled, or what broke it.
QString DownloadFailure(const TransferContext& transfer);

// Runs one device: looks its terminal up in the device table, connects (see
// DeviceRunTools), downloads the punches of range, writes the export file and
// posts them, with a database connection and a movement list of its own (so a
// failed device leaves nothing behind for the next one). The punches are
// staged while they arrive. A device that passes its deadline fails with the
// reason.
DeviceOutcome RunOneDevice(CConnServer& record, const DownloadRange& range, DeviceRunTools& tools);
