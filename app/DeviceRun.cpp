#include "app/DeviceRun.h"

#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "store/Database.h"
#include "store/DeviceQueries.h"
#include "terminal/CTerminalLink.h"
#include "terminal/ConnectDevice.h"
#include "terminal/DownloadLog.h"

#include <QElapsedTimer>

void PostingOrder::AwaitTurn(int index)
{
    std::unique_lock guard(lock_);
    changed_.wait(guard, [&] { return next_ >= index; });
}

void PostingOrder::Done(int index)
{
    {
        const std::lock_guard guard(lock_);
        done_[std::size_t(index)] = true;
        while (next_ < int(done_.size()) && done_[std::size_t(next_)])
            ++next_;
    }
    changed_.notify_all();
}

QString TransferFailure(const CConnServer& record, int connected, const CTerminalLink& link)
{
    if (record.IP.isEmpty() || record.Port.isEmpty())
        return QStringLiteral("no terminal address (device ID '%1' not found in tsrHrDeviceShift?)")
            .arg(record.DeviceId);
    if (connected == 0) {
        const QString why = link.LastFailure();
        return why.isEmpty()
                   ? QStringLiteral("could not connect to %1:%2").arg(record.IP, record.Port)
                   : QStringLiteral("could not connect to %1:%2 (%3)")
                         .arg(record.IP, record.Port, OneLine(why));
    }
    const QString failure = link.LastFailure();
    return failure.isEmpty() ? QStringLiteral("download failed")
                             : QStringLiteral("download failed: ") + OneLine(failure);
}

QString DeviceOutcome::Line() const
{
    if (!failure.isEmpty() && !posted)
        return QStringLiteral("%1: FAILED, %2").arg(name, failure);
    QString line =
        QStringLiteral("%1: %2 punches in range, %3 posted, %4 already present, %5 refused")
            .arg(name)
            .arg(inRange)
            .arg(posting.inserted)
            .arg(posting.skipped)
            .arg(posting.failed);
    if (!exportProblem.isEmpty())
        line += QStringLiteral(", export file not written: ") + OneLine(exportProblem);
    return line;
}

DeviceOutcome RunOneDevice(CConnServer& record, const DownloadRange& range, DeviceRunTools& tools)
{
    DeviceOutcome outcome;
    outcome.name = record.Name.isEmpty() ? record.DeviceId : record.Name;
    outcome.deviceId = record.DeviceId;
    outcome.startedAt = tools.clock.now();
    QElapsedTimer elapsed;
    elapsed.start();
    const QDeadlineTimer deadline = tools.deviceTimeoutSeconds > 0
                                        ? QDeadlineTimer(qint64(tools.deviceTimeoutSeconds) * 1000)
                                        : QDeadlineTimer(QDeadlineTimer::Forever);
    tools.link.SetDeadline(deadline);

    int connected = 0;
    MovementList movements;
    TransferContext transfer{
        tools.link, connected, tools.progress, tools.messages, tools.clock, tools.exeFolder, {}};
    // A connection of this device's own: whatever happened to the previous
    // device's (a server that went away, another database) stays there.
    Database db;
    // Its statements end by the device's deadline too.
    auto boundStatements = [&db](const QDeadlineTimer& until) {
        if (until.isForever())
            return;
        const int seconds = int(std::max<qint64>(1, until.remainingTime() / 1000));
        db.SetQueryTimeout(std::min(Database::kDefaultQueryTimeoutSeconds, seconds));
        db.SetLockWait(std::min(Database::kDefaultLockWaitSeconds, seconds));
    };
    boundStatements(deadline);
    // The punches are staged on the device's connection while they arrive,
    // so that after the download only the merge is left.
    StagedPosting posting(record.ConnStr, movements, db, tools.messages, tools.clock);
    transfer.onPunches = [&posting](qint64, qint64) {
        posting.StageReady();
        return true;
    };
    bool transferred = false;
    try {
        LoadDeviceAddress(record, db, tools.messages);
        transferred =
            ConnectDevice(record, transfer) && DownloadLog(record, range, movements, transfer);
        if (!transferred)
            outcome.failure = TransferFailure(record, connected, tools.link);
    } catch (const DatabaseError& error) {
        tools.messages.Show(error.Text());
        outcome.failure = QStringLiteral("database: ") + OneLine(error.Text());
    }
    if (connected == 1)
        tools.link.CloseLink();

    if (transferred) {
        outcome.inRange = movements.size();
        outcome.exportProblem = transfer.download.exportProblem;
        try {
            // The punches are staged first; the device waits for its turn
            // just before the table is locked. Waiting is not this device's
            // time: its deadline moves on by the wait.
            const auto awaitTurn = [&] {
                if (!tools.awaitPostingTurn)
                    return;
                const qint64 left = deadline.remainingTime();
                tools.awaitPostingTurn();
                boundStatements(deadline.isForever() ? deadline : QDeadlineTimer(left));
            };
            outcome.posting = posting.Post(awaitTurn);
            outcome.posted = true;
        } catch (const DatabaseError& error) {
            tools.messages.Show(error.Text());
            outcome.failure = QStringLiteral("%1 punches downloaded but not posted, database: %2")
                                  .arg(movements.size())
                                  .arg(OneLine(error.Text()));
        }
        if (outcome.posted && outcome.posting.failed > 0)
            outcome.failure = QStringLiteral("%1 punches refused").arg(outcome.posting.failed);
        else if (outcome.posted && !outcome.exportProblem.isEmpty())
            outcome.failure = QStringLiteral("export file not written");
    }
    tools.link.SetDeadline(QDeadlineTimer(QDeadlineTimer::Forever));
    outcome.seconds = double(elapsed.elapsed()) / 1000.0;
    return outcome;
}
