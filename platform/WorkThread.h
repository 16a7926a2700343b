#pragma once

#include <QThread>

#include <functional>

class QObject;

// A thread of its own for work that blocks (a terminal, a database), with an
// event loop: what is made on it (a socket) stays with it and is only ever
// used there. The window's thread hands work over and goes on handling its
// events (repaints, a Cancel button) until the work is done.
class WorkThread {
public:
    WorkThread();
    // Ends the thread once the work handed over is done.
    ~WorkThread();
    WorkThread(const WorkThread&) = delete;
    WorkThread& operator=(const WorkThread&) = delete;

    // Runs work on the thread and returns when it is done, the caller's
    // events flowing meanwhile; an exception that work throws is thrown here.
    // Called on the thread itself, it runs work at once.
    void Run(const std::function<void()>& work);
    // The same with the caller's thread blocked: for work that needs nothing
    // of it (ending a link as the window goes).
    void RunBlocking(const std::function<void()>& work);

private:
    QThread thread_;
    QObject* context_; // lives on thread_, so work queued to it runs there
};

// Runs work on context's thread: at once when that is the calling thread,
// otherwise queued there while the caller waits for it. For objects that
// only their own thread may touch (widgets, a notification icon), called
// from a WorkThread; the context's thread must be handling its events.
void RunOnThreadOf(QObject* context, const std::function<void()>& work);
