#include "app/MainController.h"

#include "app/MainView.h"
#include "app/PullOutcome.h"
#include "app/StartRun.h"
#include "app/WindowSteps.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "platform/Progress.h"
#include "resources/FaultTexts.h"
#include "resources/OperatorTexts.h"
#include "settings/SettingsFile.h"
#include "terminal/CTerminalLink.h"

MainController::MainController(MainView& view, MainServices services)
    : view_(view), services_(std::move(services)), caption_(optext::kFirstConnectCaption)
{
}

DownloadRange MainController::Range() const
{
    return DownloadRange{run_.ArgFromDate, run_.ArgToDate, view_.FromDate(), view_.ToDate()};
}

void MainController::ReadComboSelection()
{
    if (const std::optional<QString> text = view_.SelectedDeviceText())
        run_.SelectedName = *text;
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
    configPath_ = ConfigPathOf(services_);
    run_ = MapParams(params);
    view_.SetDeviceText(run_.SelectedName);
    // A list that cannot be read leaves the combo as it was (empty).
    if (LoadDeviceList(configPath_, devices_, crypt_, services_.messages))
        ShowDeviceList();
}

void MainController::OnStartRun()
{
    ReadComboSelection();
    StartOutcome started =
        StartRun(StartRequest{run_, configPath_, view_.FromDate(), view_.ToDate(),
                              [this](const std::function<void()>& work) { view_.RunAside(work); }},
                 devices_, services_);
    report_ = started.report;
    if (report_.mode != RunReport::Mode::SingleTerminal)
        return;
    current_ = started.terminal;
    if (started.openLink)
        linked_ = LinkedDevice{current_, *started.openLink};
    // The window that stays says whether the failed run left the link open.
    FollowLink(false);
}

void MainController::OnConnect()
{
    // The button toggles; ending the link needs neither the range nor the database.
    if (services_.link.IsOpen()) {
        EndLink();
        return;
    }
    ReadComboSelection();
    if (RangeRefused(Range(), services_.messages))
        return;
    current_ = FindConnServer(devices_, run_.SelectedName);
    SessionResult result;
    view_.RunAside([&] { result = OpenLinkTo(current_, SessionToolsOf(services_)); });
    if (services_.link.IsOpen())
        linked_ = LinkedDevice{current_, result.address};
    FollowLink(false);
    // A refusal says why and what to try; the notification alone does not.
    if (result.failedAt == SessionStep::Connect && result.address.complete)
        services_.messages.Show(optext::kConnectRefused.arg(result.address.Text(), caption_) +
                                QStringLiteral("\n\n") + result.failure);
}

void MainController::OnPullData()
{
    ReadComboSelection();
    if (RangeRefused(Range(), services_.messages))
        return;
    // The device whose terminal the link is open to: the selection shows it
    // while the link lasts, but a pull never takes another device's name,
    // export file, database or catch-up point for its punches.
    current_ = linked_ ? linked_->device : FindConnServer(devices_, run_.SelectedName);
    DeviceRunTools tools{SessionToolsOf(services_)};
    tools.onPunches = [this](qint64 received, qint64 announced) {
        return view_.ShowProgress(MainView::Stage::Download, received, announced);
    };
    tools.onPosting = [this](qint64 done, qint64 total) {
        view_.ShowProgress(MainView::Stage::Posting, done, total);
    };
    // Without a link the download says "connect first" (progress code 5); a
    // terminal given on the command line is no configured device.
    const SessionPlan plan =
        PullPlan(linked_ ? linked_->address : TerminalAddress(), !current_.Name.isEmpty());
    const bool wasOpen = services_.link.IsOpen();
    const DownloadRange range = Range();
    std::optional<DeviceOutcome> outcome;
    view_.RunAside([&] { outcome = PullDevice(current_, range, plan, tools, services_); });
    if (!outcome)
        return;
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
    if (run_.SelectedName.isEmpty()) {
        services_.messages.Show(optext::kChooseDevice);
        return;
    }
    current_ = FindConnServer(devices_, run_.SelectedName);
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
    if (!ReloadSettings(configPath_, stored, crypt_).read)
        return; // the dialog edits the list as the window has it
    const std::optional<QString> selected = view_.SelectedDeviceText();
    devices_ = stored;
    if (!ShowDeviceList() && selected)
        view_.SetDeviceText(*selected);
}

bool MainController::ShowDeviceList()
{
    view_.ResetContent();
    const QStringList names = OfferedNames(devices_);
    for (int position = 0; position < names.size(); ++position)
        view_.InsertString(position, names.at(position));
    if (!linked_)
        return false;
    const int entry = OfferedEntryOf(devices_, linked_->device);
    if (entry >= 0) {
        view_.SelectDevice(entry);
        ReadComboSelection();
        current_ = linked_->device = FindConnServer(devices_, run_.SelectedName);
        return true;
    }
    EndLink();
    view_.SelectDevice(0);
    return true;
}

void MainController::OnSettingsAccepted()
{
    // A name that config.ini cannot hold is stored changed; say so.
    const QStringList changed = MakeNamesStorable(devices_);
    if (!changed.isEmpty())
        services_.messages.Show(faulttext::kNameChanged + changed.join(QStringLiteral(", ")));
    // Reading back a file that could not be written would replace the list
    // just edited with the old one; the combo shows the edited list instead.
    if (SaveSettings(devices_, configPath_, crypt_))
        LoadDeviceList(configPath_, devices_, crypt_, services_.messages);
    else
        services_.progress.ShowNotification(optext::kDataStatusTitle, optext::kFileNotOpenedText);
    if (!ShowDeviceList())
        view_.SelectDevice(0);
}
