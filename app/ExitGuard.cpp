#include "app/ExitGuard.h"

#include "platform/MessageSink.h"

#include <QSqlDatabase>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

std::atomic<const char*> exitStep{"the program's own clean-up"};

} // namespace

void NoteExitStep(const char* step)
{
    exitStep.store(step);
}

void EndProcessWithin(int seconds, int status)
{
    std::thread([seconds, status] {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        WriteProgramLine(stderr, QStringLiteral("warning: the clean-up after the work did not "
                                                "finish within %1 s (waiting for %2); ending the "
                                                "process with status %3")
                                     .arg(seconds)
                                     .arg(QString::fromUtf8(exitStep.load()))
                                     .arg(status));
        std::fflush(nullptr);
        std::_Exit(status);
    }).detach();
}

int ReportConnectionsLeft()
{
    const QStringList left = QSqlDatabase::connectionNames();
    if (!left.isEmpty())
        WriteProgramLine(stderr, QStringLiteral("warning: %1 database connection(s) left to Qt's "
                                                "clean-up at exit: %2")
                                     .arg(left.size())
                                     .arg(left.join(QStringLiteral(", "))));
    return int(left.size());
}

void BeginProgramEnd(int status)
{
    EndProcessWithin(kShutdownSeconds, status);
    ReportConnectionsLeft();
    NoteExitStep("Qt's clean-up routines at the application object's end");
}
