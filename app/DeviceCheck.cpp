#include "app/DeviceCheck.h"

#include "app/CheckDiagnosis.h"
#include "app/DeviceRun.h"
#include "app/MovementTableStep.h"
#include "app/RecordedReports.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "store/Database.h"
#include "terminal/CTerminalLink.h"
#include "terminal/ExportFile.h"

#include <QDir>

#include <algorithm>
#include <cstdlib>

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm");

// Turns how the device's way went into the check's steps, with what it found
// and hints at the usual causes. A step the way did not reach stays skipped;
// every step it reached says what it found, also after a failed one.
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
        if (!Database())
            return;
        DeviceRow();
        MovementTable();
        if (Reached(SessionStep::Connect) && walked_.address.complete && Terminal() &&
            Reached(SessionStep::Clock))
            Clock();
        if (Reached(SessionStep::Download))
            PunchLog();
        if (Reached(SessionStep::Export))
            ExportFile();
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

    // Whether the way took step (failed there or went past it).
    bool Reached(SessionStep step) const { return walked_.failedAt >= step; }

    bool Database();
    void DeviceRow();
    void MovementTable()
    {
        const StepResult step = MovementTableStep(MeasureMovementTableCost(session_.Db()));
        Set(step.step, step.verdict, step.detail, step.hint);
    }
    bool Terminal();
    void Clock();
    void PunchLog();
    void ExportFile();

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
        const DatabaseFault fault = ClassifyDatabaseFailure(walked_.databaseText, result_.driver);
        const QString detail =
            DatabaseFaultText(fault) + QStringLiteral(": ") + walked_.databaseText;
        if (IsDriverFault(fault))
            return Failed(CheckStep::Driver, detail, DatabaseFaultHint(fault, result_.driver));
        Ok(CheckStep::Driver, QStringLiteral("the ODBC driver manager loaded it"));
        const OdbcDriverInfo driver = FindOdbcDriver(result_.driver).value_or(OdbcDriverInfo());
        const QString passwordHint =
            fault == DatabaseFault::LoginRefused ? PasswordDriverHint(record_, driver) : QString();
        return Failed(
            CheckStep::Login,
            detail + QStringLiteral(" (tried %1)").arg(DatabaseEndpointText(record_, driver)),
            passwordHint.isEmpty() ? DatabaseFaultHint(fault, result_.driver) : passwordHint);
    }
    Ok(CheckStep::Driver, QStringLiteral("the ODBC driver manager loaded it"));
    return Ok(
        CheckStep::Login,
        QStringLiteral("%1 on %2, database %3").arg(record_.User, record_.Server, record_.DbName));
}

void Diagnosis::DeviceRow()
{
    const QString idHint = QStringLiteral("the DeviceId in config.ini (zelvor-settings list) must "
                                          "be the ID of the terminal's row in tsrHrDeviceShift");
    if (walked_.failedAt == SessionStep::DeviceRow) {
        Failed(CheckStep::DeviceRow,
               QStringLiteral("the look-up of ID '%1' failed: %2")
                   .arg(record_.DeviceId, walked_.databaseText),
               idHint + QStringLiteral("; the login needs SELECT on tsrHrDeviceShift"));
        return;
    }
    const TerminalAddress& address = walked_.address;
    if (!address.complete) {
        Failed(CheckStep::DeviceRow, NoAddressText(record_, walked_.deviceRows),
               walked_.deviceRows == 0
                   ? idHint
                   : QStringLiteral("fill in the terminal's IP and Port in the HR suite"));
        return;
    }
    if (!address.PortInRange()) {
        Failed(CheckStep::DeviceRow,
               QStringLiteral("Port '%1' is not a TCP port").arg(record_.Port),
               QStringLiteral("correct the terminal's Port in the HR suite"));
        return;
    }
    QString key = QStringLiteral("IPKey set");
    if (address.keyText == TerminalAddress::Key::Empty)
        key = QStringLiteral("IPKey empty (key 0)");
    else if (address.keyText == TerminalAddress::Key::NotANumber)
        key = QStringLiteral("IPKey '%1' is not a number (key 0)").arg(record_.IPKey);
    QString detail = QStringLiteral("%1 port %2, %3").arg(address.host).arg(address.port).arg(key);
    if (walked_.deviceRows > 1)
        detail += QStringLiteral(" (%1 rows with this ID; a run takes the last one)")
                      .arg(walked_.deviceRows);
    Ok(CheckStep::DeviceRow, detail);
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

void Diagnosis::Clock()
{
    const ClockReading& clock = result_.clock = walked_.clock;
    const QString unread =
        QStringLiteral("the terminal did not tell its time: %1").arg(clock.problem);
    if (walked_.failedAt == SessionStep::Clock) {
        Failed(CheckStep::Clock, unread,
               QStringLiteral("the answer was altered on the way or the terminal broke "
                              "off; a run would fail the same way"));
        return;
    }
    if (!clock.read) {
        Warning(CheckStep::Clock, unread,
                QStringLiteral("a run cannot say whether its punches carry the right "
                               "time; check the terminal's clock by hand"));
        return;
    }
    const QString detail =
        QStringLiteral("%1, %2 this host's clock")
            .arg(WallClock(clock.time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                 OffsetText(clock.offsetSeconds));
    if (std::llabs(clock.offsetSeconds) > tools_.clockLimitSeconds)
        Warning(CheckStep::Clock,
                detail + QStringLiteral(" (more than %1 s)").arg(tools_.clockLimitSeconds),
                QStringLiteral("its punches carry its time; ") + SetClockHint(result_.name));
    else
        Ok(CheckStep::Clock, detail);
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

void Diagnosis::ExportFile()
{
    const DownloadReport& log = walked_.download;
    if (walked_.failedAt == SessionStep::Export) {
        Failed(CheckStep::ExportFile, log.exportProblem,
               QStringLiteral("a run posts the punches but fails the device; the FilePath of "
                              "the device in config.ini (zelvor-settings list) must name a "
                              "folder that the account running zelvor can create and write"));
        return;
    }
    Ok(CheckStep::ExportFile,
       QStringLiteral("%1 takes the day's export file (tried, the file left as it was)")
           .arg(QDir::toNativeSeparators(ExportFolder(record_.FilePath, tools_.exeFolder))));
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
    result.name = DeviceLabel(record);
    result.deviceId = record.DeviceId;
    result.driver = DriverName(record);
    for (int step = 0; step < kCheckStepCount; ++step)
        result.steps.append(StepResult{CheckStep(step), Verdict::Skipped, {}, {}});
    result.rangeFrom = FirstOfMonth(tools.clock);
    result.rangeTo = tools.clock.now();

    // The run's own way over this month's range, without the posting.
    CConnServer device = record;
    RecordedReports reports; // progress codes and messages go nowhere: no DevStatus
    DeviceRunTools run{SessionTools{.link = tools.link,
                                    .progress = reports,
                                    .messages = reports,
                                    .clock = tools.clock,
                                    .exeFolder = tools.exeFolder,
                                    .deviceTimeoutSeconds = tools.deadlineSeconds,
                                    .statementTrace = tools.statementTrace}};
    DeviceSession session(device, run.session);
    WalkDevice(session, CheckPlan(), DownloadRange{{}, {}, result.rangeFrom, result.rangeTo}, run);
    Diagnosis(device, tools, session, result).Run();
    return result;
}

QString StepName(CheckStep step, const QString& driver)
{
    switch (step) {
    case CheckStep::Driver:
        return QStringLiteral("ODBC driver \"%1\"").arg(driver);
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
    case CheckStep::ExportFile:
        return QStringLiteral("export file");
    }
    return {};
}
