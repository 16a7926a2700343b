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
    // How it ended short of its end, if it did.
    enum class Stop {
        None,           // read to its end
        NotConnected,   // no link to download over
        PrepareRefused, // the terminal refused PREPARE (errorCode says why)
        LoadRefused,    // the terminal refused LOAD or could not give its log (errorCode)
        Broken,         // the stream broke off or did not authenticate
        Cancelled,      // onPunches asked to stop
    };
    Stop stop = Stop::None;
    int errorCode = 0;          // the terminal's code for a refusal, or the link's own
    qint64 received = 0;        // punches read from the terminal
    qint64 announced = -1;      // the count the terminal announced for its log; -1 until it did
    qint64 kept = 0;            // of which in the date range
    qint64 impossible = 0;      // of which with a date or time that does not exist (skipped)
    QString exportProblem;      // why the export file was not written; empty when it was
    QString exportFile;         // the export file written; empty when none was
    bool exportDeleted = false; // and deleted again, as the device's settings ask
    bool exportKept = false;    // a download that failed left an earlier export file as it was

    bool Cancelled() const { return stop == Stop::Cancelled; }
};

// What a download does with its export file.
enum class ExportMode {
    Write, // replaces the day's export file when the log was read whole
    // Writes the lines aside and drops them: shows that the export folder can
    // be made and written, and leaves the day's file as it was.
    Try,
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
    // Whether the export file is written or only tried (ExportMode).
    ExportMode exportMode = ExportMode::Write;
    DownloadReport download = {}; // filled by DownloadLog
};

// The date range of a download.
struct DownloadRange {
    QString ArgFromDate, ArgToDate; // command-line date texts (positions 14, 15)
    QDateTime FromPicker, ToPicker; // the two date pickers' values
};
