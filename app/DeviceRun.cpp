#include "app/DeviceRun.h"

#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "store/Database.h"

#include <QElapsedTimer>

QString DeviceOutcome::Line() const
{
    const QString figures =
        postingDone
            ? QStringLiteral("%1 punches in range, %2 posted, %3 already present, %4 refused")
                  .arg(inRange)
                  .arg(posting.inserted)
                  .arg(posting.skipped)
                  .arg(posting.failed)
            : QStringLiteral("%1 punches in range downloaded, not posted").arg(inRange);
    // Refused rows are in the figures.
    if (failure.isEmpty() || (postingDone && download.exportProblem.isEmpty()))
        return QStringLiteral("%1: %2").arg(name, figures);
    QString line = QStringLiteral("%1: FAILED, %2").arg(name, failure);
    if (downloaded && !download.exportProblem.isEmpty())
        line += QStringLiteral("; ") + figures;
    return line;
}

SessionPlan RunPlan()
{
    SessionPlan plan;
    plan.terminal = SessionPlan::Terminal::LookUp;
    plan.readClock = true;
    plan.exportMode = ExportMode::Write;
    plan.post = true;
    return plan;
}

SessionPlan CheckPlan()
{
    SessionPlan plan = RunPlan();
    plan.post = false;
    plan.exportMode = ExportMode::Try;
    return plan;
}

SessionPlan PullPlan(const TerminalAddress& linkAddress, bool configuredDevice)
{
    SessionPlan plan;
    plan.terminal = SessionPlan::Terminal::OpenLink;
    plan.linkAddress = linkAddress;
    plan.post = configuredDevice;
    return plan;
}

DeviceOutcome WalkDevice(DeviceSession& session, const SessionPlan& plan,
                         const DownloadRange& range, DeviceRunTools& tools)
{
    const CConnServer& record = session.Record();
    DeviceOutcome outcome;
    outcome.name = DeviceLabel(record);
    outcome.deviceId = record.DeviceId;
    outcome.startedAt = tools.session.clock.now();
    QElapsedTimer elapsed;
    elapsed.start();

    MovementList movements;
    // The punches are staged on the session's connection while they arrive,
    // so that after the download only the merge is left.
    StagedPosting posting(record.ConnStr, movements, session.Db(), tools.session.messages,
                          tools.session.clock);
    SessionPlan walk = plan;
    walk.onPunches = [&](qint64 received, qint64 announced) {
        if (plan.post)
            posting.StageReady();
        return (!plan.onPunches || plan.onPunches(received, announced)) &&
               (!tools.onPunches || tools.onPunches(received, announced));
    };
    const SessionResult& result = session.Walk(walk, range, movements);
    if (plan.keepLinkAfterFailure && !result.Ok())
        session.KeepLink();
    // The terminal is not held while the punches are posted.
    session.EndLink();
    outcome.clock = result.clock;
    outcome.download = result.download;
    outcome.inRange = movements.size();
    outcome.downloaded = result.Downloaded();
    outcome.linkReopened = result.reopened;
    outcome.failure = result.failure;

    if (outcome.downloaded && plan.post) {
        try {
            // The punches are staged first; the device waits for its turn
            // just before the table is locked. Waiting is not this device's
            // time: its deadline moves on by the wait.
            const auto awaitTurn = [&] {
                if (!tools.awaitPostingTurn)
                    return;
                const QDeadlineTimer& deadline = session.Deadline();
                const qint64 left = deadline.remainingTime();
                tools.awaitPostingTurn();
                session.BoundStatements(deadline.isForever() ? deadline : QDeadlineTimer(left));
            };
            outcome.posting = posting.Post(awaitTurn, tools.onPosting);
            outcome.postingDone = true;
        } catch (const DatabaseError& error) {
            ShowDatabaseFault(tools.session.messages, error);
            const QString notPosted = QStringLiteral("%1 punches downloaded but not posted, "
                                                     "database: %2")
                                          .arg(movements.size())
                                          .arg(OneLine(error.Text()));
            outcome.failure = outcome.failure.isEmpty()
                                  ? notPosted
                                  : notPosted + QStringLiteral("; ") + outcome.failure;
        }
        if (outcome.failure.isEmpty() && outcome.posting.failed > 0)
            outcome.failure = QStringLiteral("%1 punches refused").arg(outcome.posting.failed);
    }
    outcome.seconds = double(elapsed.elapsed()) / 1000.0;
    return outcome;
}

DeviceOutcome RunOneDevice(CConnServer& record, const DownloadRange& range, const SessionPlan& plan,
                           DeviceRunTools& tools)
{
    DeviceSession session(record, tools.session);
    return WalkDevice(session, plan, range, tools);
}
