#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool WriteFileAtomically(const QString& path, const QByteArray& data, unsigned mode)
{
    const QFileInfo info(path);
    if (info.isDir())
        return false;
    QByteArray tmpl = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") +
                                        info.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = mkstemp(tmpl.data()); // created with mode 0600
    if (fd < 0)
        return false;
    const char* p = data.constData();
    qsizetype left = data.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= n;
    }
    ok = ok && ::fchmod(fd, mode_t(mode)) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && std::rename(tmpl.constData(), QFile::encodeName(path).constData()) == 0)
        return true;
    ::unlink(tmpl.constData());
    return false;
}
