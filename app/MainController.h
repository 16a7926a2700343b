#pragma once

#include "app/CommandLine.h"
#include "app/RunOptions.h"
#include "app/RunReport.h"
#include "settings/CCrypt.h"
#include "store/Records.h"
#include "terminal/TransferContext.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class CTerminalLink;
class MainView;
class MessageSink;
class PasswordPrompt;
class ProgressSink;
class RegistryStore;
class Clock;

// What the run control works with, given by the program (or a test).
struct MainServices {
    CTerminalLink& link;
    ProgressSink& progress;
    MessageSink& messages;
    const Clock& clock;
    RegistryStore& registry;
    PasswordPrompt& passwordPrompt;
    // The folder of the default export folder log/ and of the run lock: the
    // program's own, or its state folder when installed (platform/InstallLayout.h).
    QString exeFolder;
    // One line per device outcome of a start-up run; may be empty.
    std::function<void(const QString&)> log;
    // Makes a link for another thread of a parallel all-devices run; without
    // it the run takes one device after the other on link.
    std::function<std::unique_ptr<CTerminalLink>()> makeLink = {};
    RunOptions options = {};
    // The folder of config.ini; empty: exeFolder.
    QString configFolder = {};
};

// The main window's state and behaviour without its widgets: the run
// parameters, the device list, the current device, the movement list and the
// terminal link, with the start-up run and the button handlers. The dialog
// forwards its events here. Whatever waits on the terminal or the database
// runs through MainView::RunAside, so the window never waits on it; the
// connect button's caption follows the link whatever ended it.
class MainController {
public:
    MainController(MainView& view, MainServices services);

    // Maps the command line, sets the from-date to the first of the month and
    // loads config.ini into the device list and the combo.
    void InitDialog(const QStringList& params);
    // The start-up run: all devices, one terminal, or the password gate.
    void OnStartRun();
    // Button handlers.
    void OnConnect();
    void OnPullData();
    void OnDeviceSelChange();
    // After the settings dialog ended with OK: write config.ini, read it back,
    // select the first combo entry. When config.ini cannot be written the
    // edited list stays as it is and fills the combo.
    void OnSettingsAccepted();

    const RunReport& Report() const { return report_; }

    RunParameters Run;
    CConnServer Current; // the device the buttons act on
    MovementList Movements;
    CConnServerList Devices;
    QString ConfigPath;
    CCrypt Crypt;

private:
    DownloadRange Range() const;
    void ReadComboSelection();
    void CloseLinkIfOpen();
    // Sets the connect button's caption when the link is no longer as it was.
    void FollowLink(bool wasOpen);
    void RunAllDevices();
    void RunSingleTerminal();
    // Empties the device list and reads config.ini into it and into the combo.
    void ReloadDevices();
    void FillDeviceCombo();
    void Log(const QString& line) const;

    MainView& view_;
    MainServices services_;
    RunReport report_;
    TransferContext transfer_;
};
