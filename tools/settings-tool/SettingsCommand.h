#pragma once

#include <QStringList>

// Runs one zelvor-settings command (arguments without the program name) and
// returns the exit status: 0 done, 1 failed, 2 wrong usage.
int RunSettingsCommand(const QStringList& arguments);
