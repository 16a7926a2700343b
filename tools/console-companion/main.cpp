// The console companion of a program with windows. A program built for the
// window subsystem returns to cmd or PowerShell at once, so its exit status
// is not the run's and its lines may come after the next prompt. Installed
// beside it as zelvor.com, this console program is what `zelvor 1` typed in a
// console finds first (.COM comes before .EXE in PATHEXT): it starts the
// program of the same name with .exe, with the same arguments and the same
// standard input, output and error (a console, a file or a pipe), waits for
// it and returns its exit status. Ctrl+C reaches the program, which ends its
// run; the companion waits for that end. Plain Win32: it loads nothing else.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// What follows the program's own name on its command line, as it was given,
// so the program parses the very same words.
const wchar_t* ArgumentsAfterProgram(const wchar_t* line)
{
    bool quoted = false;
    for (; *line != L'\0'; ++line) {
        if (*line == L'"')
            quoted = !quoted;
        else if (!quoted && (*line == L' ' || *line == L'\t'))
            break;
    }
    while (*line == L' ' || *line == L'\t')
        ++line;
    return line;
}

// The program beside this one: the same path with .exe for .com.
std::wstring ProgramBeside()
{
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (length == 0 || length >= path.size())
        return {};
    path.resize(length);
    const size_t dot = path.find_last_of(L'.');
    const size_t slash = path.find_last_of(L"\\/");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        return {};
    return path.substr(0, dot) + L".exe";
}

void SayCannotStart(const std::wstring& program, DWORD error)
{
    wchar_t* message = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::fwprintf(stderr, L"zelvor: cannot start %ls: %ls (error %lu)\n", program.c_str(),
                  message ? message : L"", error);
    LocalFree(message);
}

} // namespace

int main()
{
    const std::wstring program = ProgramBeside();
    if (program.empty()) {
        std::fputs("zelvor: cannot tell its own path\n", stderr);
        return 1;
    }
    std::wstring command = L"\"" + program + L"\" " + ArgumentsAfterProgram(GetCommandLineW());
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    // Ctrl+C and Ctrl+Break are the program's to handle; this one waits.
    SetConsoleCtrlHandler(nullptr, TRUE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &start, &process)) {
        SayCannotStart(program, GetLastError());
        return 1;
    }
    CloseHandle(process.hThread);
    DWORD status = 1;
    if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.hProcess, &status))
        status = 1;
    CloseHandle(process.hProcess);
    return int(status);
}
