#pragma once

#include <QString>
#include <QtGlobal>

// The system's part of the run lock (RunLock.h): an exclusive lock on an open
// file that ends with the process however it ends. flock on POSIX,
// LockFileEx on Windows.
namespace lockfile {

constexpr qintptr kNone = -1;

enum class Attempt { Locked, Busy, Failed };

// Opens the file, creating it (owner only) when missing, not inherited by
// programs this one starts. kNone with the system's reason in problem.
qintptr Open(const QString& path, QString& problem);

// Tries once to lock the open file; Failed with the system's reason in problem.
Attempt TryLock(qintptr handle, QString& problem);

// Closes the file, which releases its lock.
void Close(qintptr handle);

} // namespace lockfile
