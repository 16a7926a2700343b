#pragma once

#include <QString>

// Where an installation keeps its files. A build as it comes keeps config.ini,
// the default export folder log/ and the run lock beside its executable. A
// build configured with ZELVOR_SYSTEM_LAYOUT (the Debian package's) keeps
// config.ini in its configuration folder (/etc/zelvor) and the rest in its
// state folder (/var/lib/zelvor), whoever starts it and from wherever, so no
// account ever needs write access beside the programs. On Windows the
// installer marks its installation (the file zelvor-data-folder beside the
// programs, in Program Files): config.ini and the state then live in
// %ProgramData%\Zelvor, which the installer lets every user change, unless a
// config.ini lies beside the programs (a site's own copy), which is read there.

// The folder of config.ini.
QString ConfigFolder();

// When an installation has config.ini both beside its programs and in its
// data folder (Windows): which one is read and how to move it; else empty.
QString ConfigCopiesNote();

// The folder of the default export folder log/ and of the run lock.
QString StateFolder();

// The folder of the run records (each device's last success and last run)
// where the installation keeps them for every account alike: on Windows the
// state folder's run-state, since the scheduled run and the window may be
// started by any clerk and each must go on where the last one stopped. Empty
// elsewhere: the account's own store keeps them (the package's runs are all
// its one service account).
QString RunRecordsFolder();

// The log of the runs started without a console (the scheduled task's), kept
// in the state folder on Windows, where nothing else keeps a run's lines (one
// earlier log beside it, RunLogPath() + ".1"). Empty elsewhere: the journal
// keeps the service's lines.
QString RunLogPath();

// Where hints send the reader for the documentation: the installed folder
// (/usr/share/doc/zelvor; docs beside the programs on Windows), or docs/ of
// the source tree for a build as it comes.
QString DocFolder();
