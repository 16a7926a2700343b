#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Small helpers shared by the test suites.
namespace testsupport {

// Reads a whole file; an empty array when it cannot be read.
QByteArray ReadBytes(const QString& path);

// Writes bytes to a file, replacing it; QFAIL-free so it can be used in helpers.
bool WriteBytes(const QString& path, const QByteArray& bytes);

// File mode bits (e.g. 0600) of a path.
int FileMode(const QString& path);

} // namespace testsupport
