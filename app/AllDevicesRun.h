#pragma once

#include "app/MainServices.h"
#include "app/RunReport.h"
#include "store/Records.h"

#include <QDateTime>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

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

// The all-devices run: every device of devices in their order, each from its
// catch-up point (the day of its last success, at most back to the first of
// the month) to the day of to; several at once when services can make links
// (options.jobs), posting in the order of the list. One run at a time on an
// installation: it waits for another, then gives up. Each device's outcome
// line, clock warning and last success come as its turn comes. The work that
// blocks runs through runAside. Fills report (mode and figures, outcomes).
void RunAllDevices(CConnServerList& devices, const QString& configPath, const QDateTime& to,
                   MainServices& services,
                   const std::function<void(const std::function<void()>&)>& runAside,
                   RunReport& report);
