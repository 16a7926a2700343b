#include "app/DeviceRun.h"

#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "store/Database.h"

#include <QElapsedTimer>

QString DeviceOutcome::Line() const
{
    if (!failure.isEmpty() && !(downloaded && posted))
        return QStringLiteral("%1: FAILED, %2").arg(name, failure);
    if (!posted) // a pull from a terminal that is no configured device
        return QStringLiteral("%1: %2 punches in range downloaded, not posted")
            .arg(name)
            .arg(inRange);
    QString line =
        QStringLiteral("%1: %2 punches in range, %3 posted, %4 already present, %5 refused")
            .arg(name)
            .arg(inRange)
            .arg(posting.inserted)
            .arg(posting.skipped)
            .arg(posting.failed);
    if (!download.exportProblem.isEmpty())
        line += QStringLiteral(", export file not written: ") + OneLine(download.exportProblem);
    return line;
}

DeviceOutcome RunOneDevice(CConnServer& record, const DownloadRange& range, DeviceRunTools& tools)
{
    DeviceOutcome outcome;
    outcome.name = record.Name.isEmpty() ? record.DeviceId : record.Name;
    outcome.deviceId = record.DeviceId;
    outcome.startedAt = tools.session.clock.now();
    QElapsedTimer elapsed;
    elapsed.start();

    MovementList movements;
    DeviceSession session(record, tools.session);
    // The punches are staged on the session's connection while they arrive,
    // so that after the download only the merge is left.
    StagedPosting posting(record.ConnStr, movements, session.Db(), tools.session.messages,
                          tools.session.clock);
    SessionPlan plan;
    if (tools.openLink) {
        plan.terminal = SessionPlan::Terminal::OpenLink;
        plan.linkAddress = *tools.openLink;
    } else {
        plan.readClock = true;
    }
    plan.onPunches = [&](qint64 received, qint64 announced) {
        if (tools.post)
            posting.StageReady();
        return !tools.onPunches || tools.onPunches(received, announced);
    };
    const SessionResult& result = session.Walk(plan, range, movements);
    session.EndLink();
    outcome.clock = result.clock;
    outcome.download = result.download;
    outcome.inRange = movements.size();
    outcome.downloaded = result.Ok();
    outcome.linkReopened = result.reopened;
    outcome.failure = result.failure;

    if (result.Ok() && tools.post) {
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
            outcome.posted = true;
        } catch (const DatabaseError& error) {
            tools.session.messages.Show(error.Text());
            outcome.failure = QStringLiteral("%1 punches downloaded but not posted, database: %2")
                                  .arg(movements.size())
                                  .arg(OneLine(error.Text()));
        }
        if (outcome.failure.isEmpty() && outcome.posting.failed > 0)
            outcome.failure = QStringLiteral("%1 punches refused").arg(outcome.posting.failed);
        else if (outcome.failure.isEmpty() && !outcome.download.exportProblem.isEmpty())
            outcome.failure = QStringLiteral("export file not written");
    }
    outcome.seconds = double(elapsed.elapsed()) / 1000.0;
    return outcome;
}
