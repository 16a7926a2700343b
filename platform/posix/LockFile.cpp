#include "platform/LockFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace lockfile {

qintptr Open(const QString& path, QString& problem)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        problem = qt_error_string(errno);
    return fd < 0 ? kNone : fd;
}

Attempt TryLock(qintptr handle, QString& problem)
{
    for (;;) {
        if (::flock(int(handle), LOCK_EX | LOCK_NB) == 0)
            return Attempt::Locked;
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error == EWOULDBLOCK)
            return Attempt::Busy;
        problem = qt_error_string(error);
        return Attempt::Failed;
    }
}

void Close(qintptr handle)
{
    // Closing the only descriptor of the open file releases its lock.
    ::close(int(handle));
}

} // namespace lockfile
