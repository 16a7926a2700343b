#pragma once

#include "app/CommandLine.h"
#include "app/MainServices.h"
#include "app/RunReport.h"
#include "store/Records.h"
#include "store/TerminalAddress.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

class CCrypt;

// Runs work that waits on a terminal or the database (MainView::RunAside, or
// a plain call without a window).
using RunAside = std::function<void(const std::function<void()>&)>;

// What the start-up run is given besides the services and the device list.
struct StartRequest {
    RunParameters run; // mapped from the command line
    QString configPath;
    QDateTime from, to; // the date pickers: the first of the month, and now
    RunAside runAside;
};

// What the start-up run left behind for a window that may follow it.
struct StartOutcome {
    RunReport report;
    // The single-terminal start's terminal (IP, Port, FilePath from the command
    // line), and its address when the link to it was left open (a failed
    // download, for the window that stays).
    CConnServer terminal;
    std::optional<TerminalAddress> openLink;
};

// config.ini in the services' folder (the configuration folder, or the
// program's own).
QString ConfigPathOf(const MainServices& services);

// Empties devices and reads config.ini into them; a file that cannot be read
// is said through messages and leaves devices empty.
bool LoadDeviceList(const QString& configPath, CConnServerList& devices, CCrypt& crypt,
                    MessageSink& messages);

// The start-up run, without a window: every device of devices (the all-devices
// run, app/AllDevicesRun.h), the terminal of the command line (no look-up, no
// posting: its export file is its product), or the password gate of an
// interactive start. Each device's outcome line goes to services.log.
StartOutcome StartRun(const StartRequest& request, CConnServerList& devices,
                      MainServices& services);

// The start-up run of a program without a window, from its positional
// arguments: config.ini read from the services' folder, the pickers' values
// from the services' clock, the work done in place.
StartOutcome StartWithoutWindow(const QStringList& params, MainServices& services);
