#pragma once

#include "platform/Clock.h"
#include "platform/ExeFolder.h"

#include <QString>

class MessageSink;

// Where a device's daily export file lies, and its preparation and deletion.

// The export file of a device for today: filePath itself when it ends in ".txt"
// (any case); otherwise <folder>/<name>_<yyyyMMdd>.txt with folder = filePath,
// or exeFolder + "/log" when filePath is empty. A missing folder is created
// (one level, mode 0700; a failure shows later as a failed open). The name
// comes from the device table, so it is treated as data: see ExportFileName.
QString MakeExportPath(const QString& name, const QString& filePath,
                       const Clock& clock = systemClock(), const QString& exeFolder = ExeFolder());

// The folder of a device's export file: filePath's own folder when it names a
// ".txt" file, filePath itself, or exeFolder + "/log" when it is empty.
QString ExportFolder(const QString& filePath, const QString& exeFolder);

// A device name as it appears in an export file name: every character that
// could lead the file out of its folder or split a line that shows the path
// ("/", "\", "]", control characters, line and paragraph separators), and
// every dot of a run of two or more, becomes "_". Visible in the path, so an
// operator can see which name was changed.
QString ExportFileName(const QString& name);

// Makes sure the file exists: a missing one is created empty (mode 0600).
// Failures are silent. No header is written: a download replaces the whole
// file with its 8-bit lines, so a header would never survive, and its UTF-16
// text would not belong in an 8-bit file. DownloadLog does not call it: its
// export file appears only when a download completes.
void PrepareExportFile(const QString& path);

// Removes the file (a failure is not reported); an empty path shows
// "File path cannot be empty." instead.
void DeleteExportFile(const QString& path, MessageSink& messages);
