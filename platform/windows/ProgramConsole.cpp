#include "platform/ProgramConsole.h"

#include "platform/InstallLayout.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

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

// The run log grows to this size, then becomes the one previous log.
constexpr qint64 kRunLogLimit = 1024 * 1024;

// Ties a stream that goes nowhere to an open file. The C runtime of a program
// started without standard handles marks the stream's descriptor as having
// none (-2), which some runtimes' freopen refuses; the descriptor is given
// the file and the stream pointed at it.
void TieToFile(FILE* stream, int descriptor, int file)
{
    if (_dup2(file, descriptor) != 0)
        return;
#ifndef _UCRT
    if (_fileno(stream) < 0)
        stream->_file = descriptor;
#endif
    std::setvbuf(stream, nullptr, _IONBF, 0);
}

// Opens the run log (rotated first when it has grown past its limit) for the
// streams that would go nowhere, unbuffered so that the lines of both streams
// and of runs that overlap stay whole and in order, and marks where this
// start's lines begin.
void KeepLinesInRunLog(bool out, bool err)
{
    const QString path = RunLogPath();
    if (path.isEmpty())
        return;
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    if (QFileInfo(path).size() >= kRunLogLimit)
        MoveFileExW(name.c_str(), (name + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
    const int file =
        _wopen(name.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (file < 0)
        return;
    if (out)
        TieToFile(stdout, 1, file);
    if (err)
        TieToFile(stderr, 2, file);
    _close(file);
    // Qt's own messages too, which a program without a console would send
    // to the debugger.
    qputenv("QT_FORCE_STDERR_LOGGING", "1");
    const QByteArray mark = QStringLiteral("== %1 %2 started (process %3)\n")
                                .arg(QDateTime::currentDateTime().toString(Qt::ISODate),
                                     QString::fromWCharArray(GetCommandLineW()))
                                .arg(GetCurrentProcessId())
                                .toUtf8();
    std::fwrite(mark.constData(), 1, size_t(mark.size()), err ? stderr : stdout);
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
    // Started from a console (typed, or through the console companion, whose
    // console handles it was given): that console becomes this program's too,
    // so the handles it was given write to it and the lines that go nowhere
    // go there.
    if (!GetConsoleWindow() && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!out)
            std::freopen("CONOUT$", "w", stdout);
        if (!err)
            std::freopen("CONOUT$", "w", stderr);
    } else if (!out || !err) {
        // Started without a console (the scheduled task, the desktop): the
        // lines that would go nowhere are kept in the run log.
        KeepLinesInRunLog(!out, !err);
    }
    // The program's lines are UTF-8; a console shows them so once told.
    if (GetConsoleWindow() && codePageBefore == 0) {
        codePageBefore = GetConsoleOutputCP();
        if (codePageBefore != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
            std::atexit(GiveBackCodePage);
    }
}
