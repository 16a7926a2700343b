#pragma once

#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "platform/Progress.h"
#include "terminal/CTerminalLink.h"

#include <QDateTime>
#include <QString>

#include <functional>

// What the connection and the download work with, handed in by the run
// control so that they need no dialog.
struct TransferContext {
    CTerminalLink& link;
    int& Connected;                                        // the main dialog's connected flag
    ProgressSink& progress;                                // platform/Progress.h
    MessageSink& messages;                                 // platform/MessageSink.h
    const Clock& clock;                                    // platform/Clock.h
    QString exeFolder;                                     // ExeFolder() in the program
    std::function<void(const QString&)> setConnectCaption; // caption of button 1007; may be empty
};

// The date range of a download.
struct DownloadRange {
    QString ArgFromDate, ArgToDate; // command-line date texts (positions 14, 15)
    QDateTime FromPicker, ToPicker; // the two date pickers' values
};
