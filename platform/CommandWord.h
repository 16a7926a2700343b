#pragma once

#include <QString>

// text as one word of a command line for the system's scheduler and shell, so
// that a command made of it can be pasted into a scheduler's command field as
// it is.
//
// POSIX (a POSIX shell): unchanged when it holds only characters the shell
// takes literally, otherwise in single quotes with every single quote written
// as '\''; the empty text becomes ''.
//
// Windows (the Task Scheduler, cmd.exe, CommandLineToArgvW): with the
// system's backslashes, in double quotes when it holds a blank or a character
// that cmd.exe acts on (a file name cannot hold a double quote); the empty
// text becomes "".
QString CommandWord(const QString& text);
