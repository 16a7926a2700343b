#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at path with data in one step: the bytes go to a temporary
// file in the same folder (mode 0600, owner only, unless mode says otherwise),
// which is then renamed over the target. Readers see the old content or the
// new, never a mix. Returns false, and leaves the old file untouched, when any
// step fails.
bool WriteFileAtomically(const QString& path, const QByteArray& data, unsigned mode = 0600);

// As WriteFileAtomically, for a file that another account relies on (config.ini,
// read by a service account through its group): an existing file keeps its
// owner, its group and its owner's and group's permissions (others get none);
// a new one is the writer's, mode 0600. A file whose owner or group this
// process cannot give the replacement is left as it was. Returns the empty
// text when written, else the reason, with the system's words. On Windows the
// replacement keeps the old file's owner, permissions and attributes, less its
// read-only mark.
QString ReplaceFileKeepingOwner(const QString& path, const QByteArray& data);
