#pragma once

#include <QString>

// The command line that starts the all-devices run: the program path, a blank
// and "1". The path is quoted for the system's shell and scheduler when it
// holds a blank or a character they would act on (CommandWord.h), so the text
// can be pasted into a scheduler's command field as it is.
QString AllDevicesCommand(const QString& exePath);
