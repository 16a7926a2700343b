#include "app/MainController.h"

#include "access/PasswordGate.h"
#include "app/DeviceRun.h"
#include "app/LastRun.h"
#include "app/LastSuccess.h"
#include "app/MainView.h"
#include "app/OrderedRun.h"
#include "app/PullOutcome.h"
#include "app/RecordedReports.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "platform/Progress.h"
#include "platform/RunLock.h"
#include "resources/FaultTexts.h"
#include "resources/OperatorTexts.h"
#include "settings/SettingsFile.h"
#include "store/Database.h"
#include "store/DeviceQueries.h"
#include "terminal/CTerminalLink.h"
#include "terminal/ConnectDevice.h"
#include "terminal/DateRange.h"
#include "terminal/DownloadLog.h"

MainController::MainController(MainView& view, MainServices services)
    : view_(view), services_(std::move(services)), transfer_{services_.link, services_.progress,
                                                             services_.messages, services_.clock,
                                                             services_.exeFolder}
{
}

DownloadRange MainController::Range() const
{
    return DownloadRange{Run.ArgFromDate, Run.ArgToDate, view_.FromDate(), view_.ToDate()};
}

void MainController::ReadComboSelection()
{
    if (const std::optional<QString> text = view_.SelectedDeviceText())
        Run.SelectedName = *text;
}

void MainController::CloseLinkIfOpen()
{
    if (services_.link.IsOpen())
        view_.RunAside([this] { services_.link.CloseLink(); });
}

void MainController::FollowLink(bool wasOpen)
{
    // The caption says what the link is now, whatever changed it: the
    // operator's click, a cancelled or broken download, a passed deadline.
    const bool open = services_.link.IsOpen();
    if (open != wasOpen)
        view_.SetConnectCaption(open ? optext::kDisconnectCaption : optext::kConnectCaption);
}

void MainController::Log(const QString& line) const
{
    if (services_.log)
        services_.log(line);
}

void MainController::InitDialog(const QStringList& params)
{
    view_.SetFromDate(FirstOfMonth(services_.clock));
    ConfigPath = (services_.configFolder.isEmpty() ? services_.exeFolder : services_.configFolder) +
                 QStringLiteral("/config.ini");
    Run = MapParams(params);
    view_.SetDeviceText(Run.SelectedName);
    ReloadDevices();
}

void MainController::ReloadDevices()
{
    const SettingsLoad load = ReloadSettings(ConfigPath, Devices, Crypt);
    if (!load.read) {
        // The combo keeps what it offered before.
        services_.messages.Show(load.problem);
        return;
    }
    FillDeviceCombo();
}

void MainController::FillDeviceCombo()
{
    view_.ResetContent();
    const QStringList names = OfferedNames(Devices);
    for (int position = 0; position < names.size(); ++position)
        view_.InsertString(position, names.at(position));
}

void MainController::OnStartRun()
{
    if (Run.AllDevicesRun) {
        report_.mode = RunReport::Mode::AllDevices;
        RunAllDevices();
    } else {
        report_.mode =
            Run.ArgIP.isEmpty() ? RunReport::Mode::Interactive : RunReport::Mode::SingleTerminal;
        RunSingleTerminal();
    }
}

void MainController::RunAllDevices()
{
    if (Devices.isEmpty()) {
        Log(QStringLiteral("no devices to run from %1").arg(ConfigPath));
        return;
    }
    // One run at a time on this installation: a second one waits for the
    // first, then gives up with the reason.
    RunLock lock(RunLockPath(services_.exeFolder));
    if (!lock.Acquire(services_.options.runLockWaitMs)) {
        services_.messages.Show(lock.Problem());
        Log(QStringLiteral("FAILED, ") + OneLine(lock.Problem()));
        report_.endRequested = true;
        report_.devices = int(Devices.size());
        report_.failed = report_.devices;
        return;
    }
    // Computed once, so a run that crosses midnight keeps the same range start.
    const QDateTime firstOfMonth = FirstOfMonth(services_.clock);
    const QDateTime to = view_.ToDate();
    const int jobs = services_.makeLink ? services_.options.jobs : 1;
    QList<DeviceOutcome> outcomes(Devices.size());

    // A parallel run gives each device a link of its own, made and ended on
    // its thread, and recorded sinks that are handed on in the order of the list.
    QList<RecordedReports> recorded(jobs > 1 ? Devices.size() : 0);
    PostingOrder order(int(Devices.size()));
    auto work = [&](int index) {
        CConnServer& record = Devices[index];
        const DownloadRange range{
            Run.ArgFromDate, Run.ArgToDate,
            RunRangeStart(firstOfMonth, ReadLastSuccess(services_.registry, record.DeviceId),
                          services_.options.since),
            to};
        if (jobs > 1) {
            RecordedReports& reports = recorded[index];
            const std::unique_ptr<CTerminalLink> link = services_.makeLink();
            DeviceRunTools tools{*link,
                                 reports,
                                 reports,
                                 services_.clock,
                                 services_.exeFolder,
                                 services_.options.deviceTimeoutSeconds,
                                 [&order, index] { order.AwaitTurn(index); }};
            outcomes[index] = RunOneDevice(record, range, tools);
            order.Done(index);
            return;
        }
        services_.messages.SetContext(record.Name);
        DeviceRunTools tools{services_.link,      services_.progress,
                             services_.messages,  services_.clock,
                             services_.exeFolder, services_.options.deviceTimeoutSeconds};
        outcomes[index] = RunOneDevice(record, range, tools);
        services_.messages.SetContext({});
    };
    auto done = [&](int index) {
        if (jobs > 1) {
            services_.messages.SetContext(Devices[index].Name);
            recorded[index].Replay(services_.progress, services_.messages);
            services_.messages.SetContext({});
        }
        const DeviceOutcome& outcome = outcomes[index];
        ++report_.devices;
        if (!outcome.Ok())
            ++report_.failed;
        Log(outcome.Line());
        const int clockLimit = services_.options.clockLimitSeconds;
        if (outcome.clock.read && std::llabs(outcome.clock.offsetSeconds) > clockLimit)
            Log(QStringLiteral("warning: %1: the terminal's clock is %2 this host's (more than "
                               "%3 s); its punches carry its time; set it with zelvor-settings "
                               "set-clock %4")
                    .arg(outcome.name, OffsetText(outcome.clock.offsetSeconds))
                    .arg(clockLimit)
                    .arg(outcome.name));
        for (const QString& warning :
             RecordDeviceRun(services_.registry, outcome, firstOfMonth, services_.options.since))
            Log(warning);
    };
    view_.RunAside([&] { RunInOrder(int(Devices.size()), jobs, work, done); });
    // ArgCloseFlag is "0" in this run: the program ends after it, whatever happened.
    report_.endRequested = true;
    report_.outcomes = outcomes;
}

void MainController::RunSingleTerminal()
{
    ReadComboSelection();
    if (Run.ArgIP.isEmpty()) {
        report_.gateResult =
            CheckPassword(services_.passwordPrompt, services_.registry, services_.messages);
        if (report_.gateResult != gate::Accepted)
            report_.endRequested = true;
    }
    Current.IP = Run.ArgIP;
    Current.Port = Run.ArgPort;
    Current.FilePath = Run.ArgFilePath;
    if (Current.IP.isEmpty())
        return;

    report_.devices = 1;
    const TerminalAddress address = TerminalAddressOf(Current);
    const DownloadRange range = Range();
    bool connected = false;
    bool ok = false;
    view_.RunAside([&] {
        connected = ConnectDevice(address, transfer_);
        ok = connected && DownloadLog(Current, range, Movements, transfer_);
        if (ok && services_.link.IsOpen())
            services_.link.CloseLink();
    });
    const QString name = QStringLiteral("%1:%2").arg(Current.IP, Current.Port);
    if (ok) {
        report_.endRequested = true;
        Log(QStringLiteral("%1: %2 punches in range downloaded").arg(name).arg(Movements.size()));
        return;
    }
    ++report_.failed;
    Log(QStringLiteral("%1: FAILED, %2")
            .arg(name, connected ? DownloadFailure(transfer_)
                                 : ConnectFailure(Current, address, services_.link)));
    if (Run.ArgCloseFlag == QLatin1String("0"))
        report_.endRequested = true;
    // The window that stays says whether the failed run left the link open.
    FollowLink(false);
}

void MainController::OnConnect()
{
    ReadComboSelection();
    Current = FindConnServer(Devices, Run.SelectedName);
    const bool wasOpen = services_.link.IsOpen();
    view_.RunAside([this] {
        try {
            // A database connection of its own, made and ended on this thread.
            Database db;
            const TerminalAddress address = LoadDeviceAddress(Current, db, services_.messages);
            // The button toggles: an open link is closed (without a progress
            // code), unless the device has no address, which is said first.
            if (address.complete && services_.link.IsOpen())
                services_.link.CloseLink();
            else
                ConnectDevice(address, transfer_);
        } catch (const DatabaseError& error) {
            services_.messages.Show(error.Text());
        }
    });
    FollowLink(wasOpen);
}

void MainController::OnPullData()
{
    ReadComboSelection();
    Current = FindConnServer(Devices, Run.SelectedName);
    // The all-devices run's way for one device, over the link the operator
    // opened: the operator sees the punches arrive and may cancel (a
    // cancelled download counts as broken off, so nothing of it is posted).
    DeviceRunTools tools{services_.link,      services_.progress,
                         services_.messages,  services_.clock,
                         services_.exeFolder, services_.options.deviceTimeoutSeconds};
    tools.useOpenLink = true;
    tools.posting = Run.SelectedName.isEmpty() ? DeviceRunTools::Posting::Never
                                               : DeviceRunTools::Posting::Always;
    tools.onPunches = [this](qint64 received, qint64 announced) {
        return view_.ShowProgress(MainView::Stage::Download, received, announced);
    };
    tools.onPosting = [this](qint64 done, qint64 total) {
        view_.ShowProgress(MainView::Stage::Posting, done, total);
    };
    const bool wasOpen = services_.link.IsOpen();
    const DownloadRange range = Range();
    const std::optional<QDateTime> lastSuccess =
        ReadLastSuccess(services_.registry, Current.DeviceId);
    std::optional<DeviceOutcome> outcome;
    view_.RunAside([&] {
        // A scheduled run posting at the same moment waits, or this pull does.
        RunLock lock(RunLockPath(services_.exeFolder));
        if (!lock.Acquire(RunLock::kDefaultWaitMs)) {
            services_.messages.Show(lock.Problem());
            return;
        }
        outcome = RunOneDevice(Current, range, tools);
    });
    if (!outcome)
        return;
    // A pull counts as the device's last success only when its range
    // reached from where the next run would start to the day it began.
    if (outcome->posted && outcome->Ok() &&
        DayFilter(range).KeepsDays(RangeStart(FirstOfMonth(services_.clock), lastSuccess).date(),
                                   outcome->startedAt.date()))
        StoreLastSuccess(services_.registry, outcome->deviceId, outcome->startedAt);
    Log(outcome->Line());
    // A link lost during the pull (a cancel, a broken stream, the deadline) is closed.
    FollowLink(wasOpen);
    view_.EndProgress(PullOutcomeText(*outcome, wasOpen, services_.link.IsOpen()));
}

void MainController::OnDeviceSelChange()
{
    const bool wasOpen = services_.link.IsOpen();
    CloseLinkIfOpen();
    FollowLink(wasOpen);
    ReadComboSelection();
    if (Run.SelectedName.isEmpty()) {
        services_.messages.Show(optext::kChooseDevice);
        return;
    }
    Current = FindConnServer(Devices, Run.SelectedName);
}

void MainController::OnSettingsAccepted()
{
    // A name that config.ini cannot hold is stored changed; say so.
    QStringList changed;
    for (CConnServer& device : Devices) {
        const QString storable = StorableDeviceName(device.Name);
        if (storable != device.Name)
            changed.append(OneLine(device.Name) + QStringLiteral(" -> ") + storable);
        device.Name = storable;
    }
    if (!changed.isEmpty())
        services_.messages.Show(faulttext::kNameChanged + changed.join(QStringLiteral(", ")));
    // Reading back a file that could not be written would replace the list
    // just edited with the old one; the combo shows the edited list instead.
    if (SaveSettings(Devices, ConfigPath, Crypt)) {
        ReloadDevices();
    } else {
        services_.progress.ShowNotification(optext::kDataStatusTitle, optext::kFileNotOpenedText);
        FillDeviceCombo();
    }
    view_.SelectDevice(0);
}
