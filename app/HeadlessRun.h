#pragma once

#include "app/RunOptions.h"

#include <QStringList>

// Runs the program without a window: the all-devices run, a single-terminal
// run, or the password gate of an interactive start when there is no display.
// Messages and notifications become lines on standard error, the password is
// read from standard input, and the program never waits on a box. Returns the
// exit status (see RunReport).
int RunHeadless(const QStringList& arguments, const RunOptions& options = {});

// Once a run without a window has said its last line, the process ends with
// status within this many seconds, even when the libraries' own clean-up
// after it does not return (Qt 6.4's SQL module was seen to hang there once
// in about thirty runs, which would keep a scheduled service from ending).
void EndProcessWithin(int seconds, int status);
inline constexpr int kShutdownSeconds = 10;

// Writes "zelvor: <line>" on standard error: the run's outcome lines.
void WriteRunLine(const QString& line);
