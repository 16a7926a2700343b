#include "app/StartRun.h"

#include "access/PasswordGate.h"
#include "app/AllDevicesRun.h"
#include "app/DeviceRun.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "settings/CCrypt.h"
#include "settings/SettingsFile.h"
#include "terminal/CTerminalLink.h"

namespace {

void Log(const MainServices& services, const QString& line)
{
    if (services.log)
        services.log(line);
}

// The terminal of the command line: connect, download into the export file.
// A failed download leaves the link open for a window that stays.
void RunSingleTerminal(const StartRequest& request, MainServices& services, StartOutcome& started)
{
    RunReport& report = started.report;
    CConnServer& terminal = started.terminal;
    report.devices = 1;
    SessionPlan plan;
    plan.terminal = SessionPlan::Terminal::Record;
    plan.keepLinkAfterFailure = true;
    const DownloadRange range{request.run.ArgFromDate, request.run.ArgToDate, request.from,
                              request.to};
    DeviceRunTools tools{SessionToolsOf(services)};
    std::optional<DeviceOutcome> outcome;
    request.runAside([&] {
        DeviceSession session(terminal, tools.session);
        outcome = WalkDevice(session, plan, range, tools);
        // A failed download leaves the link open for the window that stays.
        if (!outcome->Ok() && services.link.IsOpen())
            started.openLink = session.Result().address;
    });
    if (!outcome->Ok())
        ++report.failed;
    // No device of config.ini: the line names the terminal.
    outcome->name = QStringLiteral("%1:%2").arg(terminal.IP, terminal.Port);
    Log(services, outcome->Line());
    report.endRequested = outcome->Ok() || request.run.ArgCloseFlag == QLatin1String("0");
}

} // namespace

QString ConfigPathOf(const MainServices& services)
{
    return (services.configFolder.isEmpty() ? services.exeFolder : services.configFolder) +
           QStringLiteral("/config.ini");
}

bool LoadDeviceList(const QString& configPath, CConnServerList& devices, CCrypt& crypt,
                    MessageSink& messages)
{
    const SettingsLoad load = ReloadSettings(configPath, devices, crypt);
    if (!load.read)
        messages.Show(load.problem);
    return load.read;
}

StartOutcome StartRun(const StartRequest& request, CConnServerList& devices, MainServices& services)
{
    StartOutcome started;
    RunReport& report = started.report;
    const RunParameters& run = request.run;
    if (run.AllDevicesRun) {
        RunAllDevices(devices, request.configPath, request.to, services, request.runAside, report);
        return started;
    }
    if (run.ArgIP.isEmpty()) {
        report.mode = RunReport::Mode::Interactive;
        report.gateResult =
            CheckPassword(services.passwordPrompt, services.registry, services.messages);
        report.endRequested = report.gateResult != gate::Accepted;
        return started;
    }
    report.mode = RunReport::Mode::SingleTerminal;
    started.terminal.IP = run.ArgIP;
    started.terminal.Port = run.ArgPort;
    started.terminal.FilePath = run.ArgFilePath;
    RunSingleTerminal(request, services, started);
    return started;
}

StartOutcome StartWithoutWindow(const QStringList& params, MainServices& services)
{
    const StartRequest request{MapParams(params), ConfigPathOf(services),
                               FirstOfMonth(services.clock), services.clock.now(),
                               [](const std::function<void()>& work) { work(); }};
    CConnServerList devices;
    CCrypt crypt;
    LoadDeviceList(request.configPath, devices, crypt, services.messages);
    return StartRun(request, devices, services);
}
