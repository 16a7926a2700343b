#pragma once

#include "app/CommandLine.h"
#include "app/DeviceSession.h"
#include "app/MainServices.h"
#include "app/RunReport.h"
#include "settings/CCrypt.h"
#include "store/Records.h"
#include "store/TerminalAddress.h"
#include "terminal/TransferContext.h"

#include <QString>
#include <QStringList>

#include <optional>

class MainView;

// The main window's state and behaviour without its widgets: the run
// parameters, the device list, the current device, the movement list and the
// terminal link, with the start-up run and the button handlers. The dialog
// forwards its events here. Whatever waits on the terminal or the database
// runs through MainView::RunAside, so the window never waits on it; the
// connect button's caption follows the link whatever ended it.
//
// The link belongs to the device it was opened to: a pull downloads, exports,
// posts and records under that device, whatever the combo shows meanwhile.
// Choosing another device ends the link; a device list rebuilt after Settings
// keeps the linked device selected while it is still there (and ends the
// link when it is not).
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
    // Before the settings dialog opens: config.ini is read afresh (what
    // zelvor-settings changed meanwhile), so that Save does not undo it.
    void OnSettingsOpening();
    // After the settings dialog ended with OK: write config.ini, read it back,
    // select the linked device, or else the first combo entry. When
    // config.ini cannot be written the edited list stays as it is and fills
    // the combo.
    void OnSettingsAccepted();
    // The terminal ended the link while it was idle (noticed by the window's
    // look at the link, with why): the caption follows, the status line says
    // so, and the next pull connects again by itself.
    void OnLinkEnded(const QString& why);

    const RunReport& Report() const { return report_; }
    // The connect button's caption as it reads now.
    const QString& ConnectCaption() const { return caption_; }

    RunParameters Run;
    CConnServer Current; // the device the buttons act on
    MovementList Movements;
    CConnServerList Devices;
    QString ConfigPath;
    CCrypt Crypt;

private:
    // The device whose terminal the link was opened to, and that terminal.
    struct LinkedDevice {
        CConnServer device;
        TerminalAddress address;
    };

    DownloadRange Range() const;
    // True (and says so) when the range's first day lies after its last.
    bool RangeRefused();
    void ReadComboSelection();
    SessionTools Tools() const;
    void SetCaption(const QString& caption);
    // Sets the connect button's caption when the link is no longer as it was;
    // a link that has ended is no device's any more.
    void FollowLink(bool wasOpen);
    void EndLink();
    void RunSingleTerminal();
    // Empties the device list and reads config.ini into it and into the combo.
    void ReloadDevices();
    void FillDeviceCombo();
    // The combo entry of the linked device in the list as it is now; -1 when
    // it is gone.
    int LinkedEntry() const;
    void Log(const QString& line) const;

    MainView& view_;
    MainServices services_;
    RunReport report_;
    std::optional<LinkedDevice> linked_;
    QString caption_;
};
