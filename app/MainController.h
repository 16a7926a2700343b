#pragma once

#include "app/CommandLine.h"
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
// parameters, the device list, the device the buttons act on and the link,
// with the handlers the dialog forwards its events to. What waits on the
// terminal or the database runs through MainView::RunAside. The link belongs
// to the device it was opened to: a pull downloads, exports, posts and
// records under that device, whatever the combo shows meanwhile; choosing
// another device ends it, and so does a device list read again without it.
class MainController {
public:
    MainController(MainView& view, MainServices services);

    // Maps the command line, sets the from-date to the first of the month and
    // loads config.ini into the device list and the combo.
    void InitDialog(const QStringList& params);
    // The start-up run of a window (app/StartRun.h): one terminal or the
    // password gate; a failed single-terminal start leaves its link to the window.
    void OnStartRun();
    // Button handlers.
    void OnConnect();
    void OnPullData();
    void OnDeviceSelChange();
    // Before the settings dialog opens: config.ini is read afresh (what
    // zelvor-settings changed meanwhile), so that Save does not undo it.
    void OnSettingsOpening();
    // After the settings dialog ended with OK: write config.ini and read it
    // back (a file that cannot be written leaves the edited list in the combo).
    void OnSettingsAccepted();
    // The terminal closed the link while it was idle (seen by the window's
    // look at the link): the caption and the status line follow.
    void OnLinkEnded(const QString& why);

    const RunReport& Report() const { return report_; }
    // The connect button's caption as it reads now.
    const QString& ConnectCaption() const { return caption_; }
    const RunParameters& Run() const { return run_; }
    // The device the buttons act on.
    const CConnServer& Current() const { return current_; }
    // The device list; the settings dialog edits it in place.
    CConnServerList& Devices() { return devices_; }
    const QString& ConfigPath() const { return configPath_; }

private:
    // The device whose terminal the link was opened to, and that terminal.
    struct LinkedDevice {
        CConnServer device;
        TerminalAddress address;
    };

    DownloadRange Range() const;
    void ReadComboSelection();
    void SetCaption(const QString& caption);
    // The caption follows a link no longer as it was; an ended link is no device's.
    void FollowLink(bool wasOpen);
    void EndLink();
    // Fills the combo, the linked device selected while it is still there (with
    // its settings as read now); a link to a device that is gone ends, and the
    // first entry is selected. False, with nothing selected, without a link.
    bool ShowDeviceList();
    void Log(const QString& line) const;

    MainView& view_;
    MainServices services_;
    RunParameters run_;
    CConnServer current_;
    CConnServerList devices_;
    QString configPath_;
    CCrypt crypt_;
    RunReport report_;
    std::optional<LinkedDevice> linked_;
    QString caption_;
};
