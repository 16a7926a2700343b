#pragma once

// The last resort at a program's end. Once its work is done and its last
// line said, the process ends with that status within the given seconds,
// even when a clean-up step after it does not return (a library's clean-up
// that never ends would keep a scheduled service from ending, and the next
// timer tick would wait for it). The line it then writes names the step it
// was waiting for, and the database connections still registered with Qt.
void EndProcessWithin(int seconds, int status);
inline constexpr int kShutdownSeconds = 10;

// Names the clean-up step that begins now ("the application object's end");
// step must live as long as the process (a literal).
void NoteExitStep(const char* step);

// Writes a warning naming the database connections still registered with
// Qt's SQL module, which its clean-up at the application object's end would
// close; a program's end should leave none. Returns how many there were.
int ReportConnectionsLeft();

// Called once a program's work is done and said, before its application
// object ends: EndProcessWithin(kShutdownSeconds, status), the connections
// left reported, and the application object's end named as the step.
void BeginProgramEnd(int status);
