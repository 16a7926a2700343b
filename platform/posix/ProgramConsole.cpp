#include "platform/ProgramConsole.h"

QStringList ProgramArguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

void UseStarterConsole() {}
