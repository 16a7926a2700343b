#pragma once

#include <QStringList>

// What a program gets from whoever started it: its arguments and its console.

// The arguments after the program's path, as the system passed them: the
// locale's encoding on POSIX; on Windows the UTF-16 command line, so no
// character is lost to the 8-bit code page.
QStringList ProgramArguments(int argc, char* argv[]);

// On Windows a program with windows (not a console program) has no console of
// its own: when it is started from a console (typed, or through the console
// companion zelvor.com), it joins that console, and standard output and error
// that go nowhere are tied to it. Started without one (the scheduled task, the
// desktop), standard output and error that go nowhere are appended to the run
// log (InstallLayout.h's RunLogPath, rotated at 1 MiB). A program with a
// console (its own or the starter's) has it show UTF-8 text, and gives the
// console its code page back at exit. Output already redirected (to a file or
// a pipe) stays where it goes. Does nothing on POSIX.
void UseStarterConsole();
