#pragma once

#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "platform/Progress.h"
#include "terminal/CTerminalLink.h"

#include <QDateTime>
#include <QString>

#include <functional>

// What the last download did, for the run's outcome line and the progress dialog.
struct DownloadReport {
    qint64 received = 0;        // punches read from the terminal
    qint64 announced = -1;      // the count the terminal announced for its log; -1 until it did
    qint64 kept = 0;            // of which in the date range
    bool cancelled = false;     // the operator cancelled the download
    QString exportProblem;      // why the export file was not written; empty when it was
    QString exportFile;         // the export file written; empty when none was
    bool exportDeleted = false; // and deleted again, as the device's settings ask
};

// What the connection and the download work with, handed in by the run
// control so that they need no dialog.
struct TransferContext {
    CTerminalLink& link;    // open while connected (CTerminalLink::IsOpen)
    ProgressSink& progress; // platform/Progress.h
    MessageSink& messages;  // platform/MessageSink.h
    const Clock& clock;     // platform/Clock.h
    QString exeFolder;      // ExeFolder() in the program
    // Called while punches arrive (every so often and once at the end) with the
    // punches received and the count announced; false cancels the download,
    // which then counts as broken off. May be empty.
    std::function<bool(qint64 received, qint64 announced)> onPunches = {};
    DownloadReport download = {}; // filled by DownloadLog
};

// The date range of a download.
struct DownloadRange {
    QString ArgFromDate, ArgToDate; // command-line date texts (positions 14, 15)
    QDateTime FromPicker, ToPicker; // the two date pickers' values
};
