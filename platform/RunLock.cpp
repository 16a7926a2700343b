#include "platform/RunLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// How often a waiting run looks again; flock has no timed wait.
constexpr int kPollMs = 50;

} // namespace

RunLock::RunLock(QString path) : path_(std::move(path)) {}

bool RunLock::Acquire(int waitMs)
{
    if (IsHeld())
        return true;
    problem_.clear();
    // Close-on-exec: a program started by this run must not inherit the lock.
    const int fd = ::open(QFile::encodeName(path_).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        problem_ = QStringLiteral("Cannot open the run lock file %1: %2")
                       .arg(path_, qt_error_string(errno));
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            fd_ = fd;
            return true;
        }
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error != EWOULDBLOCK) {
            problem_ = QStringLiteral("Cannot lock the run lock file %1: %2")
                           .arg(path_, qt_error_string(error));
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
    ::close(fd);
    return false;
}

void RunLock::Release()
{
    if (fd_ < 0)
        return;
    // Closing the only descriptor of the open file releases its lock.
    ::close(fd_);
    fd_ = -1;
}

QString RunLockPath(const QString& folder)
{
    return folder + QStringLiteral("/.zelvor-run.lock");
}
