#pragma once

#include <QProcessEnvironment>

// Whether the system offers this process a desktop to show windows on: an X
// or Wayland display named in the environment on POSIX; on Windows an
// interactive window station (not so for a scheduled task that runs whether
// or not its user is logged on, or a service).
bool SystemDesktopAvailable(const QProcessEnvironment& environment);
