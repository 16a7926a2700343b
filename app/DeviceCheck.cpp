#include "app/DeviceCheck.h"

#include "app/CheckDiagnosis.h"
#include "app/MovementTableStep.h"
#include "app/RecordedReports.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "store/Database.h"
#include "store/DeviceQueries.h"
#include "store/SqlValues.h"
#include "terminal/CTerminalLink.h"
#include "terminal/ConnectDevice.h"
#include "terminal/DateRange.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kMachine = 1;
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm");

// Walks the steps of one device in order; each step that fails ends the walk,
// leaving the later ones skipped.
class Checker {
public:
    Checker(const CConnServer& record, DeviceCheckTools& tools, DeviceCheckResult& result)
        : record_(record), tools_(tools), result_(result),
          deadline_(tools.deadlineSeconds > 0 ? QDeadlineTimer(qint64(tools.deadlineSeconds) * 1000)
                                              : QDeadlineTimer(QDeadlineTimer::Forever))
    {
    }

    void Run()
    {
        tools_.link.SetDeadline(deadline_);
        if (OpenDatabase() && FindDeviceRow() && CheckMovementTable() && ConnectTerminal() &&
            CheckClock())
            ReadPunchLog();
        if (tools_.link.IsOpen())
            tools_.link.CloseLink();
        tools_.link.SetDeadline(QDeadlineTimer(QDeadlineTimer::Forever));
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
    bool PastDeadline(CheckStep step)
    {
        if (!deadline_.hasExpired())
            return false;
        Failed(
            step,
            QStringLiteral("the check's deadline of %1 s has passed").arg(tools_.deadlineSeconds),
            QStringLiteral("a run would fail this device the same way; give more time with "
                           "--device-timeout"));
        return true;
    }

    bool OpenDatabase();
    bool FindDeviceRow();
    bool CheckMovementTable()
    {
        const StepResult step = MovementTableStep(MeasureMovementTableCost(db_));
        Set(step.step, step.verdict, step.detail, step.hint);
        return step.verdict != Verdict::Failed;
    }
    bool ConnectTerminal();
    bool CheckClock();
    void ReadPunchLog();
    qint64 CountDeviceRows();

    CConnServer record_;
    DeviceCheckTools& tools_;
    DeviceCheckResult& result_;
    QDeadlineTimer deadline_;
    Database db_;             // the run's login time-out
    RecordedReports reports_; // progress codes and messages go nowhere: no DevStatus
    TerminalAddress address_;
};

bool Checker::OpenDatabase()
{
    // An empty connection string opens nothing, and a run would find no
    // terminal address: the device has no database in config.ini.
    if (record_.ConnStr.isEmpty())
        return Failed(CheckStep::Login, QStringLiteral("config.ini names no database for it"),
                      QStringLiteral("set Server, User and DbName with zelvor-settings add"));
    try {
        EnsureOpen(db_, record_.ConnStr);
    } catch (const DatabaseError& error) {
        const DatabaseFault fault = ClassifyDatabaseFailure(error.Text());
        const QString detail = DatabaseFaultText(fault) + QStringLiteral(": ") + error.Text();
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

qint64 Checker::CountDeviceRows()
{
    try {
        std::optional<QSqlQuery> query =
            db_.Query(QStringLiteral("SELECT COUNT(*) FROM tsrHrDeviceShift WHERE Id =?"),
                      {record_.DeviceId});
        if (query && NextRow(*query))
            return qint64(NumberOf(query->value(0)).value_or(-1));
    } catch (const DatabaseError&) {
    }
    return -1;
}

bool Checker::FindDeviceRow()
{
    const QString idHint = QStringLiteral("the DeviceId in config.ini (zelvor-settings list) must "
                                          "be the ID of the terminal's row in tsrHrDeviceShift");
    try {
        address_ = LoadDeviceAddress(record_, db_, reports_);
    } catch (const DatabaseError& error) {
        return Failed(
            CheckStep::DeviceRow,
            QStringLiteral("the look-up of ID '%1' failed: %2").arg(record_.DeviceId, error.Text()),
            idHint + QStringLiteral("; the login needs SELECT on tsrHrDeviceShift"));
    }
    const qint64 rows = CountDeviceRows();
    if (!address_.complete) {
        if (rows == 0)
            return Failed(CheckStep::DeviceRow,
                          QStringLiteral("no row with ID '%1'").arg(record_.DeviceId), idHint);
        return Failed(CheckStep::DeviceRow,
                      QStringLiteral("the row of ID '%1' has no %2")
                          .arg(record_.DeviceId, record_.IP.isEmpty() ? QStringLiteral("IP")
                                                                      : QStringLiteral("Port")),
                      QStringLiteral("fill in the terminal's IP and Port in the HR suite"));
    }
    if (!address_.PortInRange())
        return Failed(CheckStep::DeviceRow,
                      QStringLiteral("Port '%1' is not a TCP port").arg(record_.Port),
                      QStringLiteral("correct the terminal's Port in the HR suite"));
    QString key = QStringLiteral("IPKey set");
    if (address_.keyText == TerminalAddress::Key::Empty)
        key = QStringLiteral("IPKey empty (key 0)");
    else if (address_.keyText == TerminalAddress::Key::NotANumber)
        key = QStringLiteral("IPKey '%1' is not a number (key 0)").arg(record_.IPKey);
    QString detail =
        QStringLiteral("%1 port %2, %3").arg(address_.host).arg(address_.port).arg(key);
    if (rows > 1)
        detail += QStringLiteral(" (%1 rows with this ID; a run takes the last one)").arg(rows);
    return Ok(CheckStep::DeviceRow, detail);
}

bool Checker::ConnectTerminal()
{
    const QString at = address_.Text();
    // The run's connection: the stored key, three attempts.
    TransferContext transfer{tools_.link, reports_, reports_, tools_.clock, {}};
    if (ConnectDevice(address_, transfer)) {
        Ok(CheckStep::Terminal, QStringLiteral("%1 answers").arg(at));
        return Ok(CheckStep::LinkKey, QStringLiteral("the terminal accepted the link"));
    }
    const QString failure = tools_.link.LastFailure();
    if (PastDeadline(CheckStep::Terminal))
        return false;
    // The link does not say whose fault it was: ask the address directly.
    const TerminalProbe probe = ProbeTerminal(address_.host, address_.port, tools_.connectTimeoutMs,
                                              tools_.readTimeoutMs, deadline_);
    if (probe.reach != TerminalReach::Answers) {
        QString detail = TerminalReachText(probe, address_.host, address_.port);
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

bool Checker::CheckClock()
{
    const ClockReading& clock = result_.clock = ReadTerminalClock(tools_.link, tools_.clock);
    const QString unread =
        QStringLiteral("the terminal did not tell its time: %1").arg(clock.problem);
    // A terminal that cannot tell its time is no reason to stop; one whose
    // link went with the request is.
    if (!clock.read && !tools_.link.IsOpen())
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
                       QStringLiteral("its punches carry its time; set it with zelvor-settings "
                                      "set-clock %1")
                           .arg(result_.name));
    return Ok(CheckStep::Clock, detail);
}

void Checker::ReadPunchLog()
{
    CTerminalLink& link = tools_.link;
    const QString retry = QStringLiteral("a run gets no punches from it either; try again, and "
                                         "restart the terminal if it stays so");
    // The run's order without disabling the terminal (ACTIVE 0): prepare, load, read.
    if (!link.PreparePunchRead(kMachine)) {
        int code = 0;
        link.FetchErrorCode(code);
        Failed(CheckStep::PunchLog,
               QStringLiteral("the terminal refused to prepare a read (code %1)%2")
                   .arg(code)
                   .arg(link.LastFailure().isEmpty() ? QString()
                                                     : QStringLiteral(": ") + link.LastFailure()),
               retry);
        return;
    }
    if (!link.LoadPunchLog(kMachine)) {
        int code = 0;
        link.FetchErrorCode(code);
        Failed(
            CheckStep::PunchLog,
            code == 0
                ? QStringLiteral("the terminal has no punch log to give (no data)")
                : QStringLiteral("the terminal refused to load its punch log (code %1)").arg(code),
            retry);
        return;
    }
    result_.rangeFrom = FirstOfMonth(tools_.clock);
    result_.rangeTo = tools_.clock.now();
    const DayFilter filter(DownloadRange{{}, {}, result_.rangeFrom, result_.rangeTo});
    CAttLogRec punch;
    qint64 count = 0, kept = 0, impossible = 0;
    while (link.NextPunch(kMachine, punch)) {
        ++punch.Seq;
        ++count;
        if (filter.Keeps(punch))
            ++kept;
        else if (!IsValidPunchTime(punch.Year, punch.Month, punch.Day, punch.Hour, punch.Minute,
                                   punch.Second))
            ++impossible;
        if (count % 1024 == 0 && PastDeadline(CheckStep::PunchLog))
            return;
    }
    if (link.StreamBroken()) {
        Failed(CheckStep::PunchLog,
               QStringLiteral("the punch log broke off after %1 punches: %2")
                   .arg(count)
                   .arg(link.LastFailure()),
               QStringLiteral("a run posts nothing of a broken download; check the network to "
                              "the terminal, and restart it if this repeats"));
        return;
    }
    result_.punches = count;
    result_.inRange = kept;
    QString detail =
        QStringLiteral("%1 punches, %2 from %3 to now (%4)")
            .arg(count)
            .arg(kept)
            .arg(result_.rangeFrom.toString(kTimeFormat), result_.rangeTo.toString(kTimeFormat));
    if (impossible > 0)
        detail += QStringLiteral(", %1 with an impossible date (a run skips them)").arg(impossible);
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
    Checker(record, tools, result).Run();
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
