#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>

// Small helpers shared by the test suites.
namespace testsupport {

// Reads a whole file; an empty array when it cannot be read.
QByteArray ReadBytes(const QString& path);

// Writes bytes to a file, replacing it; QFAIL-free so it can be used in helpers.
bool WriteBytes(const QString& path, const QByteArray& bytes);

// File mode bits (e.g. 0600) of a path.
int FileMode(const QString& path);

// Whether files have mode bits: on POSIX; on Windows a file takes its folder's
// permissions, so checks of modes do not apply there.
constexpr bool kFilesHaveModes =
#ifdef Q_OS_WIN
    false;
#else
    true;
#endif

// A stream to read bytes from or to write to (a temporary file, on every
// platform); close it with std::fclose. Null when none can be made.
FILE* StreamWith(const QByteArray& bytes = {});

// Everything written to stream so far.
QByteArray WrittenTo(FILE* stream);

} // namespace testsupport
