#include "app/DeviceSession.h"

#include "platform/MessageSink.h"
#include "resources/OperatorTexts.h"
#include "store/DeviceQueries.h"
#include "terminal/CTerminalLink.h"
#include "terminal/ConnectDevice.h"
#include "terminal/DownloadLog.h"

#include <algorithm>

namespace {

const QString kOutOfTime = QStringLiteral("the time allowed for this terminal ran out");

QDeadlineTimer DeadlineIn(int seconds)
{
    return seconds > 0 ? QDeadlineTimer(qint64(seconds) * 1000)
                       : QDeadlineTimer(QDeadlineTimer::Forever);
}

// Why a download failed: no link, cancelled, or what broke it.
QString DownloadFailure(const DownloadReport& report, const CTerminalLink& link)
{
    if (report.Cancelled())
        return QStringLiteral("download cancelled");
    const QString why = link.LastFailure();
    if (why.isEmpty())
        return link.IsOpen() ? QStringLiteral("download failed")
                             : QStringLiteral("download failed: not connected");
    return QStringLiteral("download failed: ") + OneLine(why);
}

} // namespace

void ShowDatabaseFault(MessageSink& messages, const DatabaseError& error)
{
    messages.Show(optext::kDatabaseFailed + QStringLiteral("\n\n") + error.Text());
}

QString NoAddressText(const CConnServer& record, int deviceRows)
{
    const QString missing = record.IP.isEmpty() ? QStringLiteral("IP") : QStringLiteral("Port");
    if (deviceRows == 0)
        return QStringLiteral("no terminal address: no row with ID '%1' in tsrHrDeviceShift")
            .arg(record.DeviceId);
    if (deviceRows > 0)
        return QStringLiteral("no terminal address: the row of ID '%1' in tsrHrDeviceShift has "
                              "no %2")
            .arg(record.DeviceId, missing);
    if (record.ConnStr.isEmpty() && !record.DeviceId.isEmpty())
        return QStringLiteral("no terminal address: config.ini names no database to look "
                              "device ID '%1' up in")
            .arg(record.DeviceId);
    return QStringLiteral("no terminal address: no %1 given").arg(missing);
}

QString ConnectFailure(const CConnServer& record, const SessionResult& result,
                       const CTerminalLink& link)
{
    const TerminalAddress& address = result.address;
    if (!address.complete)
        return NoAddressText(record, result.deviceRows);
    const QString why = link.LastFailure();
    const QString at = address.Text();
    return why.isEmpty() ? QStringLiteral("could not connect to %1").arg(at)
                         : QStringLiteral("could not connect to %1 (%2)").arg(at, OneLine(why));
}

DeviceSession::DeviceSession(CConnServer& record, const SessionTools& tools)
    : record_(record), tools_(tools), driverWarnings_(DeviceLabel(record)),
      deadline_(DeadlineIn(tools.deviceTimeoutSeconds))
{
    db_.SetTrace(tools.statementTrace);
    tools_.link.SetDeadline(deadline_);
    BoundStatements(deadline_);
}

DeviceSession::~DeviceSession()
{
    EndLink();
    tools_.link.SetDeadline(QDeadlineTimer(QDeadlineTimer::Forever));
}

void DeviceSession::EndLink()
{
    if (!operatorsLink_ && !keepLink_ && tools_.link.IsOpen())
        tools_.link.CloseLink();
}

void DeviceSession::BoundStatements(const QDeadlineTimer& until)
{
    if (until.isForever())
        return;
    const int seconds = int(std::max<qint64>(1, until.remainingTime() / 1000));
    db_.SetQueryTimeout(std::min(Database::kDefaultQueryTimeoutSeconds, seconds));
    db_.SetLockWait(std::min(Database::kDefaultLockWaitSeconds, seconds));
}

void DeviceSession::Fail(SessionStep step, const QString& why)
{
    if (result_.failedAt != SessionStep::Done)
        return; // the first failure is the reason
    result_.failedAt = step;
    result_.failure = why;
}

bool DeviceSession::DatabaseFailed(SessionStep step, const DatabaseError& error)
{
    ShowDatabaseFault(tools_.messages, error);
    result_.databaseText = error.Text();
    Fail(step, QStringLiteral("database: ") + OneLine(error.Text()));
    return false;
}

const SessionResult& DeviceSession::Walk(const SessionPlan& plan, const DownloadRange& range,
                                         MovementList& movements)
{
    result_ = SessionResult();
    operatorsLink_ = plan.terminal == SessionPlan::Terminal::OpenLink;
    if (!FindTerminal(plan) || (plan.connect && !Connect(plan)))
        return result_;
    if (plan.readClock)
        ReadClock();
    if (plan.download)
        Download(plan, range, movements);
    return result_;
}

bool DeviceSession::FindTerminal(const SessionPlan& plan)
{
    switch (plan.terminal) {
    case SessionPlan::Terminal::Record:
        result_.address = TerminalAddressOf(record_);
        return true;
    case SessionPlan::Terminal::OpenLink:
        result_.address = plan.linkAddress;
        break;
    case SessionPlan::Terminal::LookUp:
        break;
    }
    // The database first: the look-up needs it, and a posting that follows
    // stages the punches on it while they arrive. A device without a
    // database in config.ini opens none; the connection then finds no address.
    try {
        EnsureOpen(db_, record_.ConnStr);
    } catch (const DatabaseError& error) {
        return DatabaseFailed(SessionStep::Database, error);
    }
    if (plan.terminal == SessionPlan::Terminal::OpenLink)
        return true;
    try {
        result_.address = LoadDeviceAddress(record_, db_, tools_.messages, &result_.deviceRows);
    } catch (const DatabaseError& error) {
        return DatabaseFailed(SessionStep::DeviceRow, error);
    }
    return true;
}

bool DeviceSession::Connect(const SessionPlan& plan)
{
    TransferContext transfer{tools_.link, tools_.progress, tools_.messages, tools_.clock,
                             tools_.exeFolder};
    if (plan.terminal == SessionPlan::Terminal::OpenLink) {
        // The operator's link: in use while it is open; opened again once
        // when the terminal ended it meanwhile; without one the download
        // says "connect first".
        if (!result_.address.complete || tools_.link.TendIdle())
            return true;
        result_.reopened = true;
    }
    if (ConnectDevice(result_.address, transfer))
        return true;
    Fail(SessionStep::Connect, ConnectFailure(record_, result_, tools_.link));
    return false;
}

void DeviceSession::ReadClock()
{
    result_.clock = ReadTerminalClock(tools_.link, tools_.clock);
    // A terminal that cannot tell its time is no reason to stop; one whose
    // link went with the request is.
    if (!result_.clock.read && !tools_.link.IsOpen())
        Fail(SessionStep::Clock,
             QStringLiteral("the terminal broke off when asked for its clock: ") +
                 OneLine(result_.clock.problem));
}

void DeviceSession::Download(const SessionPlan& plan, const DownloadRange& range,
                             MovementList& movements)
{
    TransferContext transfer{tools_.link, tools_.progress, tools_.messages, tools_.clock,
                             tools_.exeFolder};
    transfer.exportMode = plan.exportMode;
    // The link's own waits end by the deadline; a terminal (or a link) that
    // hands punches out faster than that is stopped here.
    transfer.onPunches = [&](qint64 received, qint64 announced) {
        if (deadline_.hasExpired()) {
            result_.deadlinePassed = true;
            return false;
        }
        return !plan.onPunches || plan.onPunches(received, announced);
    };
    const bool read = DownloadLog(record_, range, movements, transfer);
    result_.download = transfer.download;
    if (read) {
        if (!result_.download.exportProblem.isEmpty())
            Fail(SessionStep::Export, QStringLiteral("export file not written: ") +
                                          OneLine(result_.download.exportProblem));
        return;
    }
    if (result_.deadlinePassed) {
        result_.download.stop = DownloadReport::Stop::Broken;
        Fail(SessionStep::Download, QStringLiteral("download failed: ") + kOutOfTime);
        return;
    }
    result_.deadlinePassed = deadline_.hasExpired();
    Fail(SessionStep::Download, DownloadFailure(result_.download, tools_.link));
}
