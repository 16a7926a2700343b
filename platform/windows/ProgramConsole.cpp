#include "platform/ProgramConsole.h"

#include <cstdio>
#include <cstdlib>

#include <windows.h>

#include <shellapi.h>

namespace {

// The console's code page before the program changed it, given back at exit:
// the console outlives the program, and the commands typed after it expect
// their own code page.
UINT codePageBefore = 0;

void GiveBackCodePage()
{
    SetConsoleOutputCP(codePageBefore);
}

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
    if (GetConsoleWindow() && codePageBefore == 0) {
        codePageBefore = GetConsoleOutputCP();
        if (codePageBefore != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
            std::atexit(GiveBackCodePage);
    }
}
