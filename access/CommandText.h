#pragma once

#include <QString>

// The command line that starts the all-devices run: the program path, a blank
// and "1". The path is quoted for a POSIX shell when it holds a blank or a
// character the shell would act on, so the text can be pasted into a
// scheduler's command field as it is.
QString AllDevicesCommand(const QString& exePath);

// text as one word of a POSIX shell command: unchanged when it holds only
// characters the shell takes literally, otherwise in single quotes with every
// single quote written as '\''. The empty text becomes ''.
QString ShellQuoted(const QString& text);
