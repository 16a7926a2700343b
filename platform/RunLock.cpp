#include "platform/RunLock.h"

#include "platform/LockFile.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>

namespace {

// How often a waiting run looks again; the system's lock has no timed wait.
constexpr int kPollMs = 50;

} // namespace

RunLock::RunLock(QString path) : path_(std::move(path)) {}

bool RunLock::Acquire(int waitMs)
{
    if (IsHeld())
        return true;
    problem_.clear();
    QString reason;
    const qintptr handle = lockfile::Open(path_, reason);
    if (handle == lockfile::kNone) {
        problem_ = QStringLiteral("Cannot open the run lock file %1: %2").arg(path_, reason);
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const lockfile::Attempt attempt = lockfile::TryLock(handle, reason);
        if (attempt == lockfile::Attempt::Locked) {
            handle_ = handle;
            return true;
        }
        if (attempt == lockfile::Attempt::Failed) {
            problem_ = QStringLiteral("Cannot lock the run lock file %1: %2").arg(path_, reason);
            break;
        }
        const qint64 left = waitMs - waited.elapsed();
        if (left <= 0) {
            problem_ = QStringLiteral("Another run of the program holds the run lock %1; gave up "
                                      "after waiting %2 seconds.")
                           .arg(path_)
                           .arg(waitMs / 1000.0, 0, 'g', 3);
            break;
        }
        QThread::msleep(std::min<qint64>(kPollMs, left));
    }
    lockfile::Close(handle);
    return false;
}

void RunLock::Release()
{
    if (handle_ == lockfile::kNone)
        return;
    lockfile::Close(handle_);
    handle_ = lockfile::kNone;
}

QString RunLockPath(const QString& folder)
{
    return folder + QStringLiteral("/.zelvor-run.lock");
}
