#pragma once

#include "app/DriverWarnings.h"
#include "store/Database.h"
#include "store/MovementList.h"
#include "store/Records.h"
#include "store/TerminalAddress.h"
#include "terminal/TerminalClock.h"
#include "terminal/TransferContext.h"

#include <QDeadlineTimer>
#include <QString>

#include <functional>

class Clock;
class CTerminalLink;
class MessageSink;
class ProgressSink;

// What a device session works with. link, progress and messages belong to the
// session while it lasts (a thread of its own in a parallel run).
struct SessionTools {
    CTerminalLink& link;
    ProgressSink& progress;
    MessageSink& messages;
    const Clock& clock;
    QString exeFolder = {};       // of the default export folder log/
    int deviceTimeoutSeconds = 0; // 0: no limit beyond the link's and the database's own
    // Told each statement the session's database connection sends; may be empty.
    std::function<void(const QString&)> statementTrace = {};
};

// The steps of a session, in their order.
enum class SessionStep {
    Database,  // opening the device's database
    DeviceRow, // looking its terminal up in tsrHrDeviceShift
    Connect,   // opening the link (or opening again the one the terminal ended)
    Clock,     // reading the terminal's clock
    Download,  // reading the punch log
    Export,    // writing (or trying) the day's export file
    Done,      // every step of the plan succeeded
};

// Which steps a device's way takes: the session's, and whether the punches
// are posted after it (app/DeviceRun.h).
struct SessionPlan {
    // Where the terminal is.
    enum class Terminal {
        LookUp,   // in the device table, by the record's DeviceId
        Record,   // the record's IP and Port (a terminal given on the command line)
        OpenLink, // the link the operator opened to this device (linkAddress)
    };
    Terminal terminal = Terminal::LookUp;
    // The terminal of the open link: opened again once when the terminal has
    // ended the link. Not complete when there is no such link: a download
    // then says "connect first".
    TerminalAddress linkAddress = {};
    bool connect = true; // false: the look-up alone
    bool readClock = false;
    bool download = true;
    ExportMode exportMode = ExportMode::Write;
    // The punches of a complete download are posted (by WalkDevice; the
    // session itself never posts).
    bool post = false;
    // A link that the way opened stays open when the way failed (for the
    // window that stays after a failed single-terminal start).
    bool keepLinkAfterFailure = false;
    // Told while punches arrive (every so often and at the end); false
    // cancels the download. May be empty.
    std::function<bool(qint64 received, qint64 announced)> onPunches = {};
};

// How a session went.
struct SessionResult {
    SessionStep failedAt = SessionStep::Done; // the first step that failed
    QString failure;      // why, as one line ("could not connect to ..."); empty when none
    QString databaseText; // the driver's text, when the database failed
    TerminalAddress address;
    int deviceRows = -1; // rows of the device's ID in tsrHrDeviceShift; -1: not looked up
    ClockReading clock;
    DownloadReport download;
    bool deadlinePassed = false; // the device's time ran out
    bool reopened = false;       // the link the terminal had ended was opened again

    bool Ok() const { return failedAt == SessionStep::Done; }
    // The punch log was read whole (the export file may still have failed).
    bool Downloaded() const
    {
        return failedAt == SessionStep::Done || failedAt == SessionStep::Export;
    }
};

// One device's way to its terminal and punch log, the same for every path that
// opens a device: the all-devices run and the window's pull (which post what
// it brings), the window's connect button, the single-terminal start, the
// device check and set-clock. It looks the terminal up on a database
// connection of its own (which a posting then goes on with), connects with
// the stored key or takes the link the operator opened to this device, reads
// the terminal's clock, downloads and writes the export file, each step only
// after the ones before it succeeded (a clock reading that failed with the
// link is still followed by the download, which says "connect first"). Every
// wait ends by the device's deadline. The link it opened is ended with the
// session unless kept.
class DeviceSession {
public:
    // record's IP, Port and IPKey are filled by the look-up.
    DeviceSession(CConnServer& record, const SessionTools& tools);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // Takes the plan's steps over range; the punches kept go to movements.
    const SessionResult& Walk(const SessionPlan& plan, const DownloadRange& range,
                              MovementList& movements);
    // The link stays open after the session (the connect button).
    void KeepLink() { keepLink_ = true; }
    // Ends the link now unless it is the operator's or kept.
    void EndLink();

    const CConnServer& Record() const { return record_; }
    Database& Db() { return db_; }
    const QDeadlineTimer& Deadline() const { return deadline_; }
    // Bounds the database's statements and lock waits by until.
    void BoundStatements(const QDeadlineTimer& until);
    const SessionResult& Result() const { return result_; }

private:
    bool FindTerminal(const SessionPlan& plan);
    bool Connect(const SessionPlan& plan);
    void ReadClock();
    void Download(const SessionPlan& plan, const DownloadRange& range, MovementList& movements);
    void Fail(SessionStep step, const QString& why);
    bool DatabaseFailed(SessionStep step, const DatabaseError& error);

    CConnServer& record_;
    SessionTools tools_;
    // The driver's warnings name this device until the connection is gone.
    DriverWarningDevice driverWarnings_;
    QDeadlineTimer deadline_;
    Database db_;
    SessionResult result_;
    bool operatorsLink_ = false;
    bool keepLink_ = false;
};

// Says that the database failed on a device's way: what happened and what to
// do first, the driver's text after it.
void ShowDatabaseFault(MessageSink& messages, const DatabaseError& error);

// Why a device has no terminal address, as one line: no row of its ID in
// tsrHrDeviceShift, a row without IP or Port, or (deviceRows -1: no look-up)
// none given.
QString NoAddressText(const CConnServer& record, int deviceRows);

// Why the connection to a device's terminal failed, for its outcome line: no
// address, or what the link said.
QString ConnectFailure(const CConnServer& record, const SessionResult& result,
                       const CTerminalLink& link);
