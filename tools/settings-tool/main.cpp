// zelvor-settings: reads and edits config.ini from a shell, for servers that
// have no display to run the settings dialog on, and for scripted set-ups.
#include "SettingsCommand.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    return RunSettingsCommand(app.arguments().mid(1));
}
