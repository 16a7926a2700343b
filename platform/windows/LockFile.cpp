#include "platform/LockFile.h"

#include <windows.h>

namespace lockfile {

qintptr Open(const QString& path, QString& problem)
{
    // Shared for reading and writing: the lock, not the sharing mode, keeps
    // runs apart, so that a look at the file never stops a run. Not for
    // deleting: a lock file removed while held would let the next run make a
    // new one and lock that.
    const HANDLE file = CreateFileW(
        reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        problem = qt_error_string(int(GetLastError()));
        return kNone;
    }
    return reinterpret_cast<qintptr>(file);
}

Attempt TryLock(qintptr handle, QString& problem)
{
    OVERLAPPED at{};
    if (LockFileEx(reinterpret_cast<HANDLE>(handle),
                   LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return Attempt::Locked;
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING)
        return Attempt::Busy;
    problem = qt_error_string(int(error));
    return Attempt::Failed;
}

void Close(qintptr handle)
{
    // The system releases the locks of a handle when it is closed.
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

} // namespace lockfile
