#include "app/MainController.h"

#include "access/PasswordGate.h"
#include "app/MainView.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "platform/Progress.h"
#include "resources/OperatorTexts.h"
#include "settings/SettingsFile.h"
#include "store/DeviceQueries.h"
#include "store/MovementPosting.h"
#include "terminal/CTerminalLink.h"
#include "terminal/ConnectDevice.h"
#include "terminal/DownloadLog.h"

MainController::MainController(MainView& view, MainServices services)
    : view_(view), services_(std::move(services)), transfer_{services_.link,
                                                             Connected,
                                                             services_.progress,
                                                             services_.messages,
                                                             services_.clock,
                                                             services_.exeFolder,
                                                             [this](const QString& caption) {
                                                                 view_.SetConnectCaption(caption);
                                                             }}
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
    if (Connected == 1) {
        services_.link.CloseLink();
        Connected = 0;
    }
}

void MainController::Log(const QString& line) const
{
    if (services_.log)
        services_.log(line);
}

void MainController::InitDialog(const QStringList& params)
{
    view_.SetFromDate(FirstOfMonth(services_.clock));
    ConfigPath = services_.exeFolder + QStringLiteral("/config.ini");
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
        Log(QStringLiteral("no devices to run: %1 lists none").arg(ConfigPath));
        return;
    }
    // Computed once, so a run that crosses midnight keeps the same range start.
    const QDateTime firstOfMonth = FirstOfMonth(services_.clock);
    for (CConnServer& record : Devices) {
        view_.SetFromDate(firstOfMonth);
        services_.messages.SetContext(record.Name);
        ++report_.devices;
        if (!RunDevice(record))
            ++report_.failed;
        services_.messages.SetContext({});
    }
}

QString MainController::FailureReason(const CConnServer& record) const
{
    if (record.IP.isEmpty() || record.Port.isEmpty())
        return QStringLiteral("no terminal address (device ID '%1' not found in tsrHrDeviceShift?)")
            .arg(record.DeviceId);
    if (Connected == 0)
        return QStringLiteral("could not connect to %1:%2").arg(record.IP, record.Port);
    const QString failure = services_.link.LastFailure();
    return failure.isEmpty() ? QStringLiteral("download failed")
                             : QStringLiteral("download failed: ") + failure;
}

// One device of the all-devices run: look up, connect, download, post. A
// database failure is reported and ends this device only; the run goes on
// with the next, so one unreachable database does not hold up the others.
bool MainController::RunDevice(CConnServer& record)
{
    const QString name = record.Name.isEmpty() ? record.DeviceId : record.Name;
    bool transferred = false;
    QString reason;
    try {
        LoadDeviceAddress(record, Db, services_.messages);
        transferred =
            ConnectDevice(record, transfer_) && DownloadLog(record, Range(), Movements, transfer_);
        if (!transferred)
            reason = FailureReason(record);
    } catch (const DatabaseError& error) {
        services_.messages.Show(error.Text());
        reason = QStringLiteral("database: ") + OneLine(error.Text());
    }
    const bool closeAfterFailure = Run.ArgCloseFlag == QLatin1String("0");
    if (!transferred) {
        if (closeAfterFailure)
            report_.endRequested = true;
        CloseLinkIfOpen();
        Log(QStringLiteral("%1: FAILED, %2").arg(name, reason));
        return false;
    }

    bool posted = false;
    PostingSummary summary;
    try {
        summary = PostMovements(record, Movements, Db, services_.messages, services_.clock);
        posted = true;
    } catch (const DatabaseError& error) {
        services_.messages.Show(error.Text());
        reason = QStringLiteral("database: ") + OneLine(error.Text());
    }
    if (closeAfterFailure)
        report_.endRequested = true;
    if (Connected == 1) {
        CloseLinkIfOpen();
        report_.endRequested = true;
    }
    if (!posted) {
        Log(QStringLiteral("%1: FAILED, %2 punches downloaded but not posted, %3")
                .arg(name)
                .arg(Movements.size())
                .arg(reason));
        return false;
    }
    Log(QStringLiteral("%1: %2 punches in range, %3 posted, %4 already present, %5 refused")
            .arg(name)
            .arg(Movements.size())
            .arg(summary.inserted)
            .arg(summary.skipped)
            .arg(summary.failed));
    return summary.failed == 0;
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
    const bool ok =
        ConnectDevice(Current, transfer_) && DownloadLog(Current, Range(), Movements, transfer_);
    const QString name = QStringLiteral("%1:%2").arg(Current.IP, Current.Port);
    if (ok) {
        if (Connected == 1) {
            CloseLinkIfOpen();
            report_.endRequested = true;
        }
        Log(QStringLiteral("%1: %2 punches in range downloaded").arg(name).arg(Movements.size()));
        return;
    }
    ++report_.failed;
    Log(QStringLiteral("%1: FAILED, %2").arg(name, FailureReason(Current)));
    if (Run.ArgCloseFlag == QLatin1String("0"))
        report_.endRequested = true;
}

void MainController::OnConnect()
{
    ReadComboSelection();
    Current = FindConnServer(Devices, Run.SelectedName);
    try {
        LoadDeviceAddress(Current, Db, services_.messages);
        ConnectDevice(Current, transfer_);
    } catch (const DatabaseError& error) {
        services_.messages.Show(error.Text());
    }
}

void MainController::OnPullData()
{
    ReadComboSelection();
    Current = FindConnServer(Devices, Run.SelectedName);
    try {
        LoadDeviceAddress(Current, Db, services_.messages);
        DownloadLog(Current, Range(), Movements, transfer_);
        if (!Run.SelectedName.isEmpty())
            PostMovements(Current, Movements, Db, services_.messages, services_.clock);
    } catch (const DatabaseError& error) {
        services_.messages.Show(error.Text());
    }
}

void MainController::OnDeviceSelChange()
{
    if (Connected == 1) {
        CloseLinkIfOpen();
        view_.SetConnectCaption(optext::kConnectCaption);
    }
    ReadComboSelection();
    if (Run.SelectedName.isEmpty()) {
        services_.messages.Show(optext::kChooseDevice);
        return;
    }
    Current = FindConnServer(Devices, Run.SelectedName);
}

void MainController::OnSettingsAccepted()
{
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
