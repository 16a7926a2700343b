#pragma once

#include <QString>
#include <QtGlobal>

// Keeps two runs of the program on one installation from working at the same
// time (a scheduled run and the operator's pull, a run that lasts into the next
// timer tick): an exclusive lock (LockFile.h) on a file beside config.ini, held from
// Acquire until Release or destruction. The lock belongs to the open file, so
// it ends with the process however the process ends; a run that crashed
// leaves the file behind, never the lock. Runs on other workstations are kept
// apart by the database's lock on the movement table, not by this one.
class RunLock {
public:
    static constexpr int kDefaultWaitMs = 30000;

    explicit RunLock(QString path);
    ~RunLock() { Release(); }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock, creating the file (mode 0600) when missing, and waits up
    // to waitMs while another run holds it. False when it cannot be had, with
    // the reason, naming the file, in Problem().
    bool Acquire(int waitMs = kDefaultWaitMs);
    bool IsHeld() const { return handle_ != -1; }
    void Release();

    const QString& Path() const { return path_; }
    const QString& Problem() const { return problem_; }

private:
    QString path_;
    QString problem_;
    qintptr handle_ = -1; // lockfile::kNone
};

// The run lock file of the installation whose config.ini is in folder.
QString RunLockPath(const QString& folder);
