#include "platform/ProgramConsole.h"

#include <cstdio>

#include <windows.h>

#include <shellapi.h>

namespace {

bool GoesSomewhere(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

} // namespace

QStringList ProgramArguments(int /*argc*/, char* /*argv*/[])
{
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    QStringList arguments;
    if (!words)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.append(QString::fromWCharArray(words[i]));
    LocalFree(words);
    return arguments;
}

void UseStarterConsole()
{
    const bool out = GoesSomewhere(STD_OUTPUT_HANDLE);
    const bool err = GoesSomewhere(STD_ERROR_HANDLE);
    if ((!out || !err) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!out)
            std::freopen("CONOUT$", "w", stdout);
        if (!err)
            std::freopen("CONOUT$", "w", stderr);
    }
    // The program's lines are UTF-8; a console shows them so once told.
    if (GetConsoleWindow())
        SetConsoleOutputCP(CP_UTF8);
}
