#include "app/gui/ProgramStart.h"

#include "access/gui/CPasswordDlg.h"
#include "app/DriverWarnings.h"
#include "app/ExitGuard.h"
#include "app/HeadlessRun.h"
#include "app/MainController.h"
#include "app/ProgramOptions.h"
#include "app/RunRecordStore.h"
#include "app/StartChoice.h"
#include "app/gui/CZelvorDlg.h"
#include "platform/Clock.h"
#include "platform/ExeFolder.h"
#include "platform/InstallLayout.h"
#include "platform/ProcessDefaults.h"
#include "platform/ProgramConsole.h"
#include "platform/Progress.h"
#include "platform/RegistryStore.h"
#include "platform/gui/AppIcon.h"
#include "platform/gui/MessageBoxSink.h"
#include "platform/gui/QtTranslations.h"

#include <QApplication>

#include <cstdio>

namespace {

int RunWithWindow(const QStringList& arguments, const RunOptions& options)
{
    RouteDriverWarnings();
    const Clock& clock = systemClock();
    const std::unique_ptr<RegistryStore> userRegistry = UserRegistry();
    RegistryStore& registry = *userRegistry;
    CZelvorDlg dialog(clock.now());
    const std::unique_ptr<NotificationSink> notifications = dialog.MakeNotificationSink(clock);
    ProgressReporter progress(registry, *notifications, stdout);

    // A start with a terminal address is the host suite's, not an operator's:
    // its messages become lines until the window is handed to the operator.
    const QStringList params = CCommandParse::Parse(arguments).Params;
    MessageBoxSink boxes(&dialog);
    StreamMessageSink lines(stderr);
    SwitchingMessageSink messages(boxes);
    if (!MapParams(params).ArgIP.isEmpty())
        messages.SetTarget(lines);

    DialogPasswordPrompt prompt;
    RunRecordStore records(registry, RunRecordsFolder());
    for (const QString& warning : records.Warnings())
        WriteRunLine(warning);
    // A window's start runs a single terminal at most (the all-devices run never
    // opens one), so it needs no links for other threads: the window's own
    // link, which lives on its link thread.
    MainController controller(dialog, MainServices{dialog.Link(),
                                                   progress,
                                                   messages,
                                                   clock,
                                                   registry,
                                                   prompt,
                                                   StateFolder(),
                                                   WriteRunLine,
                                                   {},
                                                   options,
                                                   ConfigFolder(),
                                                   &records.Store()});
    dialog.Attach(controller, messages, ExePath());

    controller.InitDialog(params);
    controller.OnStartRun();
    const RunReport& report = controller.Report();
    if (report.endRequested)
        return report.ExitStatus();

    messages.SetTarget(boxes);
    dialog.show();
    dialog.exec();
    return report.mode == RunReport::Mode::Interactive ? 0 : report.ExitStatus();
}

void Print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

int RunProgram(int argc, char* argv[])
{
    // --help, --version and wrong usage are answered before anything else:
    // no application object, no display, no config.ini, no registry.
    SetProcessDefaults();
    UseStarterConsole();
    const ProgramOptions options = ParseProgramOptions(ProgramArguments(argc, argv));
    if (!options.error.isEmpty()) {
        Print(stderr, options.error + QLatin1Char('\n'));
        return 2;
    }
    if (options.help || options.version) {
        Print(stdout, options.help ? ProgramHelpText() : ProgramVersionText());
        return 0;
    }
    RunOptions run;
    QString error;
    if (!RunOptionsFrom(options, QProcessEnvironment::systemEnvironment(), run, error)) {
        Print(stderr, error + QLatin1Char('\n'));
        return 2;
    }
    // A range that keeps no punch would still replace the day's export file.
    const QString range =
        CommandLineRangeProblem(MapParams(CCommandParse::Parse(options.arguments).Params));
    if (!range.isEmpty()) {
        Print(stderr,
              QStringLiteral("zelvor: %1; nothing was downloaded, written or posted\n").arg(range));
        return 2;
    }
    // The choice and the run read the same list. Qt takes its own options
    // (-style X) out of the list that the application object keeps; mapping that
    // one would shift the positions against the ones the choice counted.
    const QStringList& arguments = options.arguments;
    if (RunsWithoutWindow(arguments, HasDisplay(QProcessEnvironment::systemEnvironment()))) {
        int status = 0;
        {
            QCoreApplication app(argc, argv);
            status = RunHeadless(arguments, run);
            BeginProgramEnd(status);
        }
        NoteExitStep("the process's exit (static objects, libraries)");
        return status;
    }
    int status = 0;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("zelvor"));
        QApplication::setQuitOnLastWindowClosed(false);
        // Qt's standard buttons in the operator's language; the window stays
        // right to left in any locale.
        LoadQtTranslations();
        QApplication::setLayoutDirection(Qt::RightToLeft);
        QApplication::setWindowIcon(AppIcon());
        status = RunWithWindow(arguments, run);
        BeginProgramEnd(status);
    }
    NoteExitStep("the process's exit (static objects, libraries)");
    return status;
}
