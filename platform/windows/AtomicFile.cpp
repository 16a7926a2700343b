#include "platform/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>

#include <windows.h>

namespace {

const wchar_t* Wide(const QString& text)
{
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

QString SystemReason()
{
    return qt_error_string(int(GetLastError()));
}

bool WriteAll(HANDLE file, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        DWORD written = 0;
        const auto chunk = DWORD(std::min<qsizetype>(left, 1 << 30));
        if (!WriteFile(file, p, chunk, &written, nullptr) || written == 0)
            return false;
        p += written;
        left -= written;
    }
    return true;
}

// Writes data to a new file beside path, then puts it in path's place. An
// existing file is replaced with ReplaceFileW, which gives the new file the old
// one's security descriptor and attributes (its owner and whoever may read it,
// as a service account's access); a new file takes its folder's inherited
// permissions. The empty text when done, else the reason.
QString Replace(const QString& path, const QByteArray& data)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("%1 is a folder").arg(path);
    const QString target = QDir::toNativeSeparators(info.absoluteFilePath());
    const QString temporary = QDir::toNativeSeparators(
        info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.') +
        QUuid::createUuid().toString(QUuid::Id128).left(12));
    // Not shared, not inherited by programs this one starts.
    const HANDLE file = CreateFileW(Wide(temporary), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return QStringLiteral("cannot make a file in %1: %2")
            .arg(QDir::toNativeSeparators(info.absolutePath()), SystemReason());
    QString problem;
    if (!WriteAll(file, data) || !FlushFileBuffers(file))
        problem = QStringLiteral("cannot write %1: %2").arg(target, SystemReason());
    CloseHandle(file);
    if (problem.isEmpty()) {
        const DWORD attributes = GetFileAttributesW(Wide(target));
        const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
        // A read-only file would refuse the replacement; its other attributes stay.
        if (exists && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesW(Wide(target), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
        const bool replaced =
            exists ? ReplaceFileW(Wide(target), Wide(temporary), nullptr,
                                  REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                   : MoveFileExW(Wide(temporary), Wide(target), MOVEFILE_WRITE_THROUGH);
        if (!replaced)
            problem = QStringLiteral("cannot replace %1: %2").arg(target, SystemReason());
    }
    if (problem.isEmpty())
        return {};
    DeleteFileW(Wide(temporary));
    return problem;
}

} // namespace

// Windows has no mode bits: a file's access comes from its folder's permissions
// (set by the installer), so mode is not used here.
bool WriteFileAtomically(const QString& path, const QByteArray& data, unsigned /*mode*/)
{
    return Replace(path, data).isEmpty();
}

QString ReplaceFileKeepingOwner(const QString& path, const QByteArray& data)
{
    return Replace(path, data);
}
