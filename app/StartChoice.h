#pragma once

#include <QProcessEnvironment>
#include <QStringList>

// Whether the program can open windows: the system offers a desktop (an X or
// Wayland display is named; on Windows, an interactive window station) and Qt
// is not told to draw off screen.
bool HasDisplay(const QProcessEnvironment& environment);

// Whether a start runs without any window: the all-devices run always does
// (it never waits on the operator), every other start when there is no
// display. arguments: the command line after the program path.
bool RunsWithoutWindow(const QStringList& arguments, bool hasDisplay);
