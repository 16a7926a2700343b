#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at path with data in one step: the bytes go to a temporary
// file in the same folder (mode 0600, owner only, unless mode says otherwise),
// which is then renamed over the target. Readers see the old content or the
// new, never a mix. Returns false, and leaves the old file untouched, when any
// step fails.
bool WriteFileAtomically(const QString& path, const QByteArray& data, unsigned mode = 0600);
