#include "app/HeadlessRun.h"

#include "access/ConsolePasswordPrompt.h"
#include "app/CommandLine.h"
#include "app/DriverWarnings.h"
#include "app/MainController.h"
#include "app/MainView.h"
#include "platform/Clock.h"
#include "platform/ExeFolder.h"
#include "platform/MessageSink.h"
#include "platform/NotificationSink.h"
#include "platform/Progress.h"
#include "platform/RegistryStore.h"
#include "terminal/NetTerminalLink.h"

#include <cstdio>

void WriteRunLine(const QString& line)
{
    WriteProgramLine(stderr, line);
}

int RunHeadless(const QStringList& arguments)
{
    SuppressDriverWarnings();
    const Clock& clock = systemClock();
    RegistryStore registry;
    StreamNotificationSink notifications(stderr);
    ProgressReporter progress(registry, notifications, stdout);
    StreamMessageSink messages(stderr);
    ConsolePasswordPrompt prompt(stdin, stderr);
    NetTerminalLink link;
    HeadlessView view(clock.now());

    MainController controller(
        view, MainServices{link, progress, messages, clock, registry, prompt, ExeFolder(),
                           WriteRunLine, [] { return std::make_unique<NetTerminalLink>(); }});
    controller.InitDialog(CCommandParse::Parse(arguments).Params);
    controller.OnStartRun();

    const RunReport& report = controller.Report();
    // An accepted password would open the main window; without a display there
    // is nothing to wait for.
    if (!report.endRequested && report.mode == RunReport::Mode::Interactive)
        WriteRunLine(QStringLiteral("password accepted; the main window needs a display "
                                    "(set DISPLAY), exiting"));
    if (report.mode != RunReport::Mode::Interactive)
        WriteRunLine(QStringLiteral("done: %1 device(s), %2 failed, exit status %3")
                         .arg(report.devices)
                         .arg(report.failed)
                         .arg(report.ExitStatus()));
    return report.ExitStatus();
}
