#pragma once

#include "app/RunOptions.h"

#include <QStringList>

// Runs the program without a window: the all-devices run, a single-terminal
// run, or the password gate of an interactive start when there is no display.
// Messages and notifications become lines on standard error, the password is
// read from standard input, and the program never waits on a box. Returns the
// exit status (see RunReport).
int RunHeadless(const QStringList& arguments, const RunOptions& options = {});

// Writes "zelvor: <line>" on standard error: the run's outcome lines.
void WriteRunLine(const QString& line);
