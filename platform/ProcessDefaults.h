#pragma once

// Settings for the whole process, made first thing in main(), before any
// library code runs. On Windows: DLLs are searched for in the program's
// folder and System32 only; and Qt's regular expressions are matched without
// their JIT compiler. Qt keeps one JIT stack per thread in a thread_local
// object, and with mingw-w64's thread-local storage (GCC 12, posix threads)
// such an object's memory is freed before its destructor runs at a thread's
// end: a worker thread that matched a pattern once crashed the process when
// it ended. Nothing on POSIX.
void SetProcessDefaults();
