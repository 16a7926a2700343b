#include "app/MainController.h"

#include "access/PasswordGate.h"
#include "app/AllDevicesRun.h"
#include "app/DeviceRun.h"
#include "app/LastSuccess.h"
#include "app/MainView.h"
#include "app/PullOutcome.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "platform/Progress.h"
#include "platform/RunLock.h"
#include "resources/FaultTexts.h"
#include "resources/OperatorTexts.h"
#include "settings/SettingsFile.h"
#include "terminal/CTerminalLink.h"
#include "terminal/ConnectDevice.h"
#include "terminal/DateRange.h"

#include <QLocale>

namespace {

// The same device of the suite: a list rebuilt after Settings may have
// renamed it, but not moved it to another terminal row or database.
bool SameDevice(const CConnServer& a, const CConnServer& b)
{
    return a.DeviceId.compare(b.DeviceId, Qt::CaseInsensitive) == 0 && a.Server == b.Server &&
           a.DbName == b.DbName;
}

} // namespace

MainController::MainController(MainView& view, MainServices services)
    : view_(view), services_(std::move(services)), caption_(optext::kFirstConnectCaption)
{
}

DownloadRange MainController::Range() const
{
    return DownloadRange{Run.ArgFromDate, Run.ArgToDate, view_.FromDate(), view_.ToDate()};
}

bool MainController::RangeRefused()
{
    const RangeDays days = DaysOf(Range());
    if (!days.Reversed())
        return false;
    const QLocale locale;
    services_.messages.Show(
        optext::kReversedRange.arg(locale.toString(days.first), locale.toString(days.last)));
    return true;
}

void MainController::ReadComboSelection()
{
    if (const std::optional<QString> text = view_.SelectedDeviceText())
        Run.SelectedName = *text;
}

SessionTools MainController::Tools() const
{
    return SessionTools{services_.link,      services_.progress,
                        services_.messages,  services_.clock,
                        services_.exeFolder, services_.options.deviceTimeoutSeconds};
}

void MainController::SetCaption(const QString& caption)
{
    caption_ = caption;
    view_.SetConnectCaption(caption);
}

void MainController::FollowLink(bool wasOpen)
{
    // The caption says what the link is now, whatever changed it: the
    // operator's click, a cancelled or broken download, a passed deadline.
    const bool open = services_.link.IsOpen();
    if (!open)
        linked_.reset();
    if (open != wasOpen)
        SetCaption(open ? optext::kDisconnectCaption : optext::kConnectCaption);
}

void MainController::EndLink()
{
    const bool wasOpen = services_.link.IsOpen();
    if (wasOpen)
        view_.RunAside([this] { services_.link.CloseLink(); });
    linked_.reset();
    FollowLink(wasOpen);
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
        RunAllDevices(
            Devices, ConfigPath, view_.ToDate(), services_,
            [this](const std::function<void()>& work) { view_.RunAside(work); }, report_);
        return;
    }
    report_.mode =
        Run.ArgIP.isEmpty() ? RunReport::Mode::Interactive : RunReport::Mode::SingleTerminal;
    RunSingleTerminal();
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

    // The terminal of the command line: no look-up, no posting.
    report_.devices = 1;
    SessionPlan plan;
    plan.terminal = SessionPlan::Terminal::Record;
    const DownloadRange range = Range();
    SessionResult result;
    view_.RunAside([&] {
        DeviceSession session(Current, Tools());
        result = session.Walk(plan, range, Movements);
        // A failed download leaves the link open for the window that stays.
        if (!result.Ok())
            session.KeepLink();
    });
    if (services_.link.IsOpen())
        linked_ = LinkedDevice{Current, result.address};
    const QString name = QStringLiteral("%1:%2").arg(Current.IP, Current.Port);
    if (result.Ok()) {
        report_.endRequested = true;
        Log(QStringLiteral("%1: %2 punches in range downloaded").arg(name).arg(Movements.size()));
        return;
    }
    ++report_.failed;
    Log(QStringLiteral("%1: FAILED, %2").arg(name, result.failure));
    if (Run.ArgCloseFlag == QLatin1String("0"))
        report_.endRequested = true;
    // The window that stays says whether the failed run left the link open.
    FollowLink(false);
}

void MainController::OnConnect()
{
    ReadComboSelection();
    if (RangeRefused())
        return;
    Current = FindConnServer(Devices, Run.SelectedName);
    const bool wasOpen = services_.link.IsOpen();
    SessionResult result;
    view_.RunAside([&] {
        MovementList none;
        DeviceSession session(Current, Tools());
        SessionPlan plan;
        plan.download = false;
        // The button toggles: the second click looks the device up again and
        // ends the link, unless the device has no address, which is said first.
        plan.connect = !wasOpen;
        result = session.Walk(plan, {}, none);
        if (!wasOpen) {
            if (result.Ok())
                session.KeepLink();
            return;
        }
        if (!result.Ok())
            return; // the database said why
        TransferContext transfer{services_.link, services_.progress, services_.messages,
                                 services_.clock, services_.exeFolder};
        if (!result.address.complete)
            ConnectDevice(result.address, transfer); // "1": no address; the link stays
        else
            services_.link.CloseLink();
    });
    if (services_.link.IsOpen() && !wasOpen)
        linked_ = LinkedDevice{Current, result.address};
    FollowLink(wasOpen);
    // A refusal says why and what to try; the notification alone does not.
    if (!wasOpen && result.failedAt == SessionStep::Connect && result.address.complete)
        services_.messages.Show(optext::kConnectRefused.arg(result.address.Text(), caption_) +
                                QStringLiteral("\n\n") + result.failure);
}

void MainController::OnPullData()
{
    ReadComboSelection();
    if (RangeRefused())
        return;
    // The device whose terminal the link is open to: the selection shows it
    // while the link lasts, but a pull never takes another device's name,
    // export file, database or catch-up point for its punches.
    Current = linked_ ? linked_->device : FindConnServer(Devices, Run.SelectedName);
    DeviceRunTools tools{Tools()};
    // Without a link the download says "connect first" (progress code 5).
    tools.openLink = linked_ ? linked_->address : TerminalAddress();
    // A terminal given on the command line is no configured device.
    tools.post = !Current.Name.isEmpty();
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
    // reached from where the next run would start to the day it began; the
    // record only moves forward.
    const QDateTime firstOfMonth = FirstOfMonth(services_.clock);
    if (outcome->posted && outcome->Ok() &&
        DayFilter(range).KeepsDays(RangeStart(firstOfMonth, lastSuccess).date(),
                                   outcome->startedAt.date()) &&
        MovesLastSuccess(firstOfMonth, lastSuccess, {}, outcome->startedAt))
        StoreLastSuccess(services_.registry, outcome->deviceId, outcome->startedAt);
    Log(outcome->Line());
    // A link lost during the pull (a cancel, a broken stream, the deadline) is
    // closed; one opened again for it is the operator's again.
    FollowLink(wasOpen);
    view_.EndProgress(PullOutcomeText(*outcome, services_.link.IsOpen(), caption_));
}

void MainController::OnDeviceSelChange()
{
    EndLink();
    ReadComboSelection();
    if (Run.SelectedName.isEmpty()) {
        services_.messages.Show(optext::kChooseDevice);
        return;
    }
    Current = FindConnServer(Devices, Run.SelectedName);
}

void MainController::OnLinkEnded(const QString& why)
{
    if (!linked_ || services_.link.IsOpen())
        return;
    SetCaption(optext::kConnectCaption);
    services_.progress.ShowNotification(optext::kLinkTitle, optext::kLinkEndedByTerminal);
    Log(QStringLiteral("%1: %2").arg(linked_->address.Text(), OneLine(why)));
}

void MainController::OnSettingsOpening()
{
    CConnServerList stored;
    if (!ReloadSettings(ConfigPath, stored, Crypt).read)
        return; // the dialog edits the list as the window has it
    const std::optional<QString> selected = view_.SelectedDeviceText();
    Devices = stored;
    FillDeviceCombo();
    if (selected)
        view_.SetDeviceText(*selected);
}

int MainController::LinkedEntry() const
{
    if (!linked_)
        return -1;
    int entry = 0;
    for (const CConnServer& device : Devices) {
        if (device.IsCheck != QLatin1String("1"))
            continue;
        if (SameDevice(device, linked_->device))
            return entry;
        ++entry;
    }
    return -1;
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
    // The linked device stays selected while it is still there, with its
    // settings as saved; a link to a device that is gone ends.
    const int entry = LinkedEntry();
    if (entry < 0) {
        if (linked_)
            EndLink();
        view_.SelectDevice(0);
        return;
    }
    view_.SelectDevice(entry);
    ReadComboSelection();
    Current = FindConnServer(Devices, Run.SelectedName);
    linked_->device = Current;
}
