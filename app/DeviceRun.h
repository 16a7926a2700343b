#pragma once

#include "store/MovementPosting.h"
#include "store/Records.h"
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
    bool posted = false;   // the posting ran to its end
    QString failure;       // why the device failed; empty when it did not
    QString exportProblem; // why the export file was not written; empty when it was
    QDateTime startedAt;
    double seconds = 0;

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

// Why the transfer of a device failed, for its outcome line: no address, no
// connection, or what broke the download.
QString TransferFailure(const CConnServer& record, int connected, const CTerminalLink& link);

// Runs one device: looks its terminal up in the device table, connects,
// downloads the punches of range, writes the export file and posts them, with
// a database connection and a movement list of its own (so a failed device
// leaves nothing behind for the next one). The link is closed at the end. A
// device that passes its deadline fails with the reason.
DeviceOutcome RunOneDevice(CConnServer& record, const DownloadRange& range, DeviceRunTools& tools);
