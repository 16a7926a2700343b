#include "app/DeviceCheck.h"

#include "app/CheckDiagnosis.h"
#include "app/DeviceSession.h"
#include "app/MovementTableStep.h"
#include "app/RecordedReports.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "store/Database.h"
#include "store/SqlValues.h"
#include "terminal/CTerminalLink.h"

#include <algorithm>
#include <cstdlib>

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm");

// Turns how the device's session went into the check's steps, with what the
// session found and hints at the usual causes. A step after the one that
// failed stays skipped.
class Diagnosis {
public:
    Diagnosis(const CConnServer& record, DeviceCheckTools& tools, DeviceSession& session,
              DeviceCheckResult& result)
        : record_(record), tools_(tools), session_(session), walked_(session.Result()),
          result_(result)
    {
    }

    void Run()
    {
        if (Database() && DeviceRow() && MovementTable() && Terminal() && Clock())
            PunchLog();
    }

private:
    bool Ok(CheckStep step, const QString& detail)
    {
        Set(step, Verdict::Ok, detail, {});
        return true;
    }
    bool Failed(CheckStep step, const QString& detail, const QString& hint)
    {
        Set(step, Verdict::Failed, detail, hint);
        return false;
    }
    bool Warning(CheckStep step, const QString& detail, const QString& hint)
    {
        Set(step, Verdict::Warning, detail, hint);
        return true;
    }
    void Set(CheckStep step, Verdict verdict, const QString& detail, const QString& hint)
    {
        result_.steps[int(step)] = StepResult{step, verdict, OneLine(detail).simplified(), hint};
    }
    bool OutOfTime(CheckStep step)
    {
        return Failed(
            step,
            QStringLiteral("the check's deadline of %1 s has passed").arg(tools_.deadlineSeconds),
            QStringLiteral("a run would fail this device the same way; give more time with "
                           "--device-timeout"));
    }

    bool Database();
    bool DeviceRow();
    bool MovementTable()
    {
        const StepResult step = MovementTableStep(MeasureMovementTableCost(session_.Db()));
        Set(step.step, step.verdict, step.detail, step.hint);
        return step.verdict != Verdict::Failed;
    }
    bool Terminal();
    bool Clock();
    void PunchLog();
    qint64 CountDeviceRows();

    const CConnServer& record_;
    DeviceCheckTools& tools_;
    DeviceSession& session_;
    const SessionResult& walked_;
    DeviceCheckResult& result_;
};

bool Diagnosis::Database()
{
    // An empty connection string opens nothing, and a run would find no
    // terminal address: the device has no database in config.ini.
    if (record_.ConnStr.isEmpty())
        return Failed(CheckStep::Login, QStringLiteral("config.ini names no database for it"),
                      QStringLiteral("set Server, User and DbName with zelvor-settings add"));
    if (walked_.failedAt == SessionStep::Database) {
        const DatabaseFault fault = ClassifyDatabaseFailure(walked_.databaseText);
        const QString detail =
            DatabaseFaultText(fault) + QStringLiteral(": ") + walked_.databaseText;
        if (IsDriverFault(fault))
            return Failed(CheckStep::Driver, detail, DatabaseFaultHint(fault));
        Ok(CheckStep::Driver, QStringLiteral("the ODBC driver manager loaded it"));
        const OdbcDriverInfo driver = FindOdbcDriver().value_or(OdbcDriverInfo());
        const QString passwordHint =
            fault == DatabaseFault::LoginRefused ? PasswordDriverHint(record_, driver) : QString();
        return Failed(CheckStep::Login,
                      detail +
                          QStringLiteral(" (tried %1)").arg(DatabaseEndpointText(record_, driver)),
                      passwordHint.isEmpty() ? DatabaseFaultHint(fault) : passwordHint);
    }
    Ok(CheckStep::Driver, QStringLiteral("the ODBC driver manager loaded it"));
    return Ok(
        CheckStep::Login,
        QStringLiteral("%1 on %2, database %3").arg(record_.User, record_.Server, record_.DbName));
}

qint64 Diagnosis::CountDeviceRows()
{
    try {
        std::optional<QSqlQuery> query =
            session_.Db().Query(QStringLiteral("SELECT COUNT(*) FROM tsrHrDeviceShift WHERE Id =?"),
                                {record_.DeviceId});
        if (query && NextRow(*query))
            return qint64(NumberOf(query->value(0)).value_or(-1));
    } catch (const DatabaseError&) {
    }
    return -1;
}

bool Diagnosis::DeviceRow()
{
    const QString idHint = QStringLiteral("the DeviceId in config.ini (zelvor-settings list) must "
                                          "be the ID of the terminal's row in tsrHrDeviceShift");
    if (walked_.failedAt == SessionStep::DeviceRow)
        return Failed(CheckStep::DeviceRow,
                      QStringLiteral("the look-up of ID '%1' failed: %2")
                          .arg(record_.DeviceId, walked_.databaseText),
                      idHint + QStringLiteral("; the login needs SELECT on tsrHrDeviceShift"));
    const TerminalAddress& address = walked_.address;
    const qint64 rows = CountDeviceRows();
    if (!address.complete) {
        if (rows == 0)
            return Failed(CheckStep::DeviceRow,
                          QStringLiteral("no row with ID '%1'").arg(record_.DeviceId), idHint);
        return Failed(CheckStep::DeviceRow,
                      QStringLiteral("the row of ID '%1' has no %2")
                          .arg(record_.DeviceId, record_.IP.isEmpty() ? QStringLiteral("IP")
                                                                      : QStringLiteral("Port")),
                      QStringLiteral("fill in the terminal's IP and Port in the HR suite"));
    }
    if (!address.PortInRange())
        return Failed(CheckStep::DeviceRow,
                      QStringLiteral("Port '%1' is not a TCP port").arg(record_.Port),
                      QStringLiteral("correct the terminal's Port in the HR suite"));
    QString key = QStringLiteral("IPKey set");
    if (address.keyText == TerminalAddress::Key::Empty)
        key = QStringLiteral("IPKey empty (key 0)");
    else if (address.keyText == TerminalAddress::Key::NotANumber)
        key = QStringLiteral("IPKey '%1' is not a number (key 0)").arg(record_.IPKey);
    QString detail = QStringLiteral("%1 port %2, %3").arg(address.host).arg(address.port).arg(key);
    if (rows > 1)
        detail += QStringLiteral(" (%1 rows with this ID; a run takes the last one)").arg(rows);
    return Ok(CheckStep::DeviceRow, detail);
}

bool Diagnosis::Terminal()
{
    const TerminalAddress& address = walked_.address;
    const QString at = address.Text();
    if (walked_.failedAt != SessionStep::Connect) {
        Ok(CheckStep::Terminal, QStringLiteral("%1 answers").arg(at));
        return Ok(CheckStep::LinkKey, QStringLiteral("the terminal accepted the link"));
    }
    if (session_.Deadline().hasExpired())
        return OutOfTime(CheckStep::Terminal);
    const QString failure = tools_.link.LastFailure();
    // The link does not say whose fault it was: ask the address directly.
    const TerminalProbe probe = ProbeTerminal(address.host, address.port, tools_.connectTimeoutMs,
                                              tools_.readTimeoutMs, session_.Deadline());
    if (probe.reach != TerminalReach::Answers) {
        QString detail = TerminalReachText(probe, address.host, address.port);
        if (!failure.isEmpty())
            detail += QStringLiteral(" (the link: %1)").arg(failure);
        return Failed(CheckStep::Terminal, detail, TerminalReachHint(probe.reach));
    }
    Ok(CheckStep::Terminal, QStringLiteral("%1 answers").arg(at));
    return Failed(CheckStep::LinkKey,
                  QStringLiteral("the terminal did not accept the link: %1")
                      .arg(failure.isEmpty() ? QStringLiteral("no reason given") : failure),
                  QStringLiteral("the IPKey in tsrHrDeviceShift differs from the key set on the "
                                 "terminal, or the terminal speaks another protocol version"));
}

bool Diagnosis::Clock()
{
    const ClockReading& clock = result_.clock = walked_.clock;
    const QString unread =
        QStringLiteral("the terminal did not tell its time: %1").arg(clock.problem);
    if (walked_.failedAt == SessionStep::Clock)
        return Failed(CheckStep::Clock, unread,
                      QStringLiteral("the answer was altered on the way or the terminal broke "
                                     "off; a run would fail the same way"));
    if (!clock.read)
        return Warning(CheckStep::Clock, unread,
                       QStringLiteral("a run cannot say whether its punches carry the right "
                                      "time; check the terminal's clock by hand"));
    const QString detail =
        QStringLiteral("%1, %2 this host's clock")
            .arg(WallClock(clock.time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                 OffsetText(clock.offsetSeconds));
    if (std::llabs(clock.offsetSeconds) > tools_.clockLimitSeconds)
        return Warning(CheckStep::Clock,
                       detail + QStringLiteral(" (more than %1 s)").arg(tools_.clockLimitSeconds),
                       QStringLiteral("its punches carry its time; ") + SetClockHint(result_.name));
    return Ok(CheckStep::Clock, detail);
}

void Diagnosis::PunchLog()
{
    const DownloadReport& log = walked_.download;
    const QString retry = QStringLiteral("a run gets no punches from it either; try again, and "
                                         "restart the terminal if it stays so");
    const QString why = tools_.link.LastFailure().isEmpty()
                            ? QString()
                            : QStringLiteral(": ") + tools_.link.LastFailure();
    if (walked_.deadlinePassed) {
        OutOfTime(CheckStep::PunchLog);
        return;
    }
    switch (log.stop) {
    case DownloadReport::Stop::None:
        break;
    case DownloadReport::Stop::PrepareRefused:
        Failed(CheckStep::PunchLog,
               QStringLiteral("the terminal refused to prepare a read (code %1)%2")
                   .arg(log.errorCode)
                   .arg(why),
               retry);
        return;
    case DownloadReport::Stop::LoadRefused:
        Failed(CheckStep::PunchLog,
               log.errorCode == 0
                   ? QStringLiteral("the terminal has no punch log to give (no data)")
                   : QStringLiteral("the terminal refused to load its punch log "
                                    "(code %1)")
                         .arg(log.errorCode),
               retry);
        return;
    case DownloadReport::Stop::NotConnected:
    case DownloadReport::Stop::Broken:
    case DownloadReport::Stop::Cancelled:
        Failed(
            CheckStep::PunchLog,
            QStringLiteral("the punch log broke off after %1 punches%2").arg(log.received).arg(why),
            QStringLiteral("a run posts nothing of a broken download; check the network to "
                           "the terminal, and restart it if this repeats"));
        return;
    }
    result_.punches = log.received;
    result_.inRange = log.kept;
    QString detail =
        QStringLiteral("%1 punches, %2 from %3 to now (%4)")
            .arg(log.received)
            .arg(log.kept)
            .arg(result_.rangeFrom.toString(kTimeFormat), result_.rangeTo.toString(kTimeFormat));
    if (log.impossible > 0)
        detail +=
            QStringLiteral(", %1 with an impossible date (a run skips them)").arg(log.impossible);
    Ok(CheckStep::PunchLog, detail);
}

} // namespace

bool DeviceCheckResult::Passed() const
{
    return !steps.isEmpty() && std::all_of(steps.cbegin(), steps.cend(), [](const StepResult& s) {
        return s.verdict == Verdict::Ok || s.verdict == Verdict::Warning;
    });
}

const StepResult* DeviceCheckResult::FirstFailure() const
{
    for (const StepResult& step : steps)
        if (step.verdict == Verdict::Failed)
            return &step;
    return nullptr;
}

DeviceCheckResult CheckDevice(const CConnServer& record, DeviceCheckTools& tools)
{
    DeviceCheckResult result;
    result.name = record.Name.isEmpty() ? record.DeviceId : record.Name;
    result.deviceId = record.DeviceId;
    for (CheckStep step :
         {CheckStep::Driver, CheckStep::Login, CheckStep::DeviceRow, CheckStep::MovementTable,
          CheckStep::Terminal, CheckStep::LinkKey, CheckStep::Clock, CheckStep::PunchLog})
        result.steps.append(StepResult{step, Verdict::Skipped, {}, {}});
    result.rangeFrom = FirstOfMonth(tools.clock);
    result.rangeTo = tools.clock.now();

    // The run's own session over this month's range, looking at the log only.
    CConnServer device = record;
    RecordedReports reports; // progress codes and messages go nowhere: no DevStatus
    DeviceSession session(
        device, SessionTools{tools.link, reports, reports, tools.clock, {}, tools.deadlineSeconds});
    SessionPlan plan;
    plan.readClock = true;
    plan.lookOnly = true;
    MovementList none;
    session.Walk(plan, DownloadRange{{}, {}, result.rangeFrom, result.rangeTo}, none);
    Diagnosis(device, tools, session, result).Run();
    return result;
}

QString StepName(CheckStep step)
{
    switch (step) {
    case CheckStep::Driver:
        return QStringLiteral("ODBC driver \"SQL Server\"");
    case CheckStep::Login:
        return QStringLiteral("database login");
    case CheckStep::DeviceRow:
        return QStringLiteral("device row");
    case CheckStep::MovementTable:
        return QStringLiteral("movement table");
    case CheckStep::Terminal:
        return QStringLiteral("terminal answers");
    case CheckStep::LinkKey:
        return QStringLiteral("link key");
    case CheckStep::Clock:
        return QStringLiteral("terminal clock");
    case CheckStep::PunchLog:
        return QStringLiteral("punch log");
    }
    return {};
}
