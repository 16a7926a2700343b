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

// Errors that another program's hold on a file gives for a while (a virus
// scanner looking at a new file, a spreadsheet that has an export open):
// the step is tried again until kRetryMs have passed.
constexpr DWORD kRetryMs = 5000;
constexpr DWORD kRetryStepMs = 100;

bool Transient(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

// Runs step until it succeeds, fails for good, or the time for transient
// failures is up; the last error stays the thread's last error.
template <typename Step> bool Retried(Step step)
{
    const ULONGLONG until = GetTickCount64() + kRetryMs;
    for (;;) {
        if (step())
            return true;
        const DWORD error = GetLastError();
        if (!Transient(error) || GetTickCount64() >= until)
            return false;
        Sleep(kRetryStepMs);
        SetLastError(error);
    }
}

QString NameBeside(const QFileInfo& info, const QString& kind)
{
    return QDir::toNativeSeparators(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                    QLatin1Char('.') + kind +
                                    QUuid::createUuid().toString(QUuid::Id128).left(12));
}

// Puts temporary in target's place, keeping target's security descriptor and
// attributes (ReplaceFileW). The old file is moved aside first (the backup),
// so that whatever step fails, it is put back: never are both copies lost.
// False with the thread's last error set when target still holds the old file.
bool ReplaceExisting(const QString& target, const QString& temporary, const QString& backup,
                     DWORD attributes)
{
    // A read-only file would refuse the replacement; the mark is put back.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(Wide(target), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    const bool replaced = Retried([&] {
        return ReplaceFileW(Wide(target), Wide(temporary), Wide(backup),
                            REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
    });
    const DWORD error = GetLastError();
    if (replaced) {
        DeleteFileW(Wide(backup));
    } else if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // The old file was moved to the backup name and the new one could not
        // take its place: the old one goes back.
        MoveFileExW(Wide(backup), Wide(target), MOVEFILE_WRITE_THROUGH);
    }
    // Otherwise (ERROR_UNABLE_TO_MOVE_REPLACEMENT, ERROR_UNABLE_TO_REMOVE_REPLACED,
    // a sharing violation) both files kept their names.
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(Wide(target), attributes);
    SetLastError(error);
    return replaced;
}

// Writes data to a new file beside path, then puts it in path's place. An
// existing file is replaced with ReplaceFileW, which gives the new file the old
// one's security descriptor and attributes (its owner and whoever may read it,
// as a service account's access); a new file takes its folder's inherited
// permissions. Another program's hold on the file is waited out for a few
// seconds. The empty text when done, else the reason; the old file is then
// as it was.
QString Replace(const QString& path, const QByteArray& data)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("%1 is a folder").arg(path);
    const QString target = QDir::toNativeSeparators(info.absoluteFilePath());
    const QString temporary = NameBeside(info, QStringLiteral("new."));
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
        const bool replaced =
            attributes != INVALID_FILE_ATTRIBUTES
                ? ReplaceExisting(target, temporary, NameBeside(info, QStringLiteral("old.")),
                                  attributes)
                : Retried([&] {
                      return MoveFileExW(Wide(temporary), Wide(target), MOVEFILE_WRITE_THROUGH) !=
                             0;
                  });
        if (!replaced)
            problem = QStringLiteral("cannot replace %1 (left as it was): %2")
                          .arg(target, SystemReason());
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
