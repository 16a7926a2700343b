#pragma once

// The program: the all-devices run and every start without a display run
// headless; otherwise the main window is made hidden, the start-up run goes
// first, and the window is shown only when that run leaves it open. Returns
// the exit status.
int RunProgram(int argc, char* argv[]);
