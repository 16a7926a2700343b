#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

QString SystemReason()
{
    return qt_error_string(errno);
}

// Gives the open replacement fd the owner and group of keep when they differ.
QString TakeOwner(int fd, const QString& path, const struct stat& keep)
{
    struct stat made {};
    if (::fstat(fd, &made) != 0)
        return SystemReason();
    if ((made.st_uid == keep.st_uid && made.st_gid == keep.st_gid) ||
        ::fchown(fd, keep.st_uid, keep.st_gid) == 0)
        return {};
    const QFileInfo info(path);
    return QStringLiteral("cannot give the new file the owner %1:%2 of %3 (%4); run this as "
                          "that account or as root")
        .arg(info.owner(), info.group(), path, SystemReason());
}

// Writes data to a new file beside path with mode, and the owner of keep when
// given, then renames it over path. The empty text when done, else the reason.
QString Replace(const QString& path, const QByteArray& data, mode_t mode, const struct stat* keep)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("%1 is a folder").arg(path);
    QByteArray tmpl = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") +
                                        info.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = mkstemp(tmpl.data()); // created with mode 0600
    if (fd < 0)
        return QStringLiteral("cannot make a file in %1: %2")
            .arg(info.absolutePath(), SystemReason());
    QString problem;
    if (!WriteAll(fd, data))
        problem = QStringLiteral("cannot write %1: %2").arg(path, SystemReason());
    if (problem.isEmpty() && keep)
        problem = TakeOwner(fd, path, *keep);
    if (problem.isEmpty() && ::fchmod(fd, mode) != 0)
        problem = SystemReason();
    if (::close(fd) != 0 && problem.isEmpty())
        problem = QStringLiteral("cannot write %1: %2").arg(path, SystemReason());
    if (problem.isEmpty() &&
        std::rename(tmpl.constData(), QFile::encodeName(path).constData()) != 0)
        problem = QStringLiteral("cannot replace %1: %2").arg(path, SystemReason());
    if (problem.isEmpty())
        return {};
    ::unlink(tmpl.constData());
    return problem;
}

} // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& data, unsigned mode)
{
    return Replace(path, data, mode_t(mode), nullptr).isEmpty();
}

QString ReplaceFileKeepingOwner(const QString& path, const QByteArray& data)
{
    struct stat existing {};
    if (::stat(QFile::encodeName(path).constData(), &existing) != 0 || !S_ISREG(existing.st_mode))
        return Replace(path, data, 0600, nullptr);
    return Replace(path, data, existing.st_mode & 0770, &existing);
}
