// zelvor-settings: reads and edits config.ini from a shell, for servers that
// have no display to run the settings dialog on, and for scripted set-ups.
#include "SettingsCommand.h"

#include "app/ExitGuard.h"
#include "platform/ProcessDefaults.h"
#include "platform/ProgramConsole.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    SetProcessDefaults();
    // Its lines are UTF-8 (Arabic device names among them).
    UseStarterConsole();
    int status = 0;
    {
        QCoreApplication app(argc, argv);
        status = RunSettingsCommand(app.arguments().mid(1));
        BeginProgramEnd(status);
    }
    NoteExitStep("the process's exit (static objects, libraries)");
    return status;
}
