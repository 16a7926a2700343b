#include "app/DeviceRun.h"

#include "app/DriverWarnings.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "store/Database.h"
#include "store/DeviceQueries.h"
#include "store/TerminalAddress.h"
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

QString ConnectFailure(const CConnServer& record, const TerminalAddress& address,
                       const CTerminalLink& link)
{
    if (!address.complete)
        return QStringLiteral("no terminal address (device ID '%1' not found in tsrHrDeviceShift?)")
            .arg(record.DeviceId);
    const QString why = link.LastFailure();
    const QString at = QStringLiteral("%1:%2").arg(record.IP, record.Port);
    return why.isEmpty() ? QStringLiteral("could not connect to %1").arg(at)
                         : QStringLiteral("could not connect to %1 (%2)").arg(at, OneLine(why));
}

QString DownloadFailure(const TransferContext& transfer)
{
    if (transfer.download.cancelled)
        return QStringLiteral("download cancelled");
    const QString why = transfer.link.LastFailure();
    if (why.isEmpty())
        return transfer.link.IsOpen() ? QStringLiteral("download failed")
                                      : QStringLiteral("download failed: not connected");
    return QStringLiteral("download failed: ") + OneLine(why);
}

QString DeviceOutcome::Line() const
{
    if (!failure.isEmpty() && !(downloaded && posted))
        return QStringLiteral("%1: FAILED, %2").arg(name, failure);
    if (!posted) // a pull without a selected device
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
    const DriverWarningDevice driverWarnings(outcome.name);
    QElapsedTimer elapsed;
    elapsed.start();
    const QDeadlineTimer deadline = tools.deviceTimeoutSeconds > 0
                                        ? QDeadlineTimer(qint64(tools.deviceTimeoutSeconds) * 1000)
                                        : QDeadlineTimer(QDeadlineTimer::Forever);
    tools.link.SetDeadline(deadline);

    MovementList movements;
    TransferContext transfer{tools.link, tools.progress, tools.messages, tools.clock,
                             tools.exeFolder};
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
    transfer.onPunches = [&](qint64 received, qint64 announced) {
        if (tools.posting != DeviceRunTools::Posting::Never)
            posting.StageReady();
        return !tools.onPunches || tools.onPunches(received, announced);
    };
    bool transferred = false;
    bool databaseFailed = false;
    try {
        const TerminalAddress address = LoadDeviceAddress(record, db, tools.messages);
        bool connected = tools.useOpenLink;
        if (!connected) {
            connected = ConnectDevice(address, transfer);
            if (connected)
                outcome.clock = ReadTerminalClock(tools.link, tools.clock);
            else
                outcome.failure = ConnectFailure(record, address, tools.link);
        }
        if (connected) {
            transferred = DownloadLog(record, range, movements, transfer);
            if (!transferred)
                outcome.failure = DownloadFailure(transfer);
        }
    } catch (const DatabaseError& error) {
        tools.messages.Show(error.Text());
        outcome.failure = QStringLiteral("database: ") + OneLine(error.Text());
        databaseFailed = true;
    }
    if (!tools.useOpenLink && tools.link.IsOpen())
        tools.link.CloseLink();

    const bool post = !databaseFailed &&
                      (tools.posting == DeviceRunTools::Posting::Always ||
                       (tools.posting == DeviceRunTools::Posting::AfterDownload && transferred));
    outcome.inRange = movements.size();
    outcome.download = transfer.download;
    outcome.exportProblem = transfer.download.exportProblem;
    if (post) {
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
            if (tools.onPosting)
                tools.onPosting(0, movements.size());
            outcome.posting = posting.Post(awaitTurn, tools.onPosting);
            outcome.posted = true;
        } catch (const DatabaseError& error) {
            tools.messages.Show(error.Text());
            if (outcome.failure.isEmpty())
                outcome.failure =
                    QStringLiteral("%1 punches downloaded but not posted, database: %2")
                        .arg(movements.size())
                        .arg(OneLine(error.Text()));
        }
        // A failed download stays the reason (a pull posts an empty list after it).
        if (outcome.failure.isEmpty() && outcome.posting.failed > 0)
            outcome.failure = QStringLiteral("%1 punches refused").arg(outcome.posting.failed);
        else if (outcome.failure.isEmpty() && !outcome.exportProblem.isEmpty())
            outcome.failure = QStringLiteral("export file not written");
    }
    outcome.downloaded = transferred;
    tools.link.SetDeadline(QDeadlineTimer(QDeadlineTimer::Forever));
    outcome.seconds = double(elapsed.elapsed()) / 1000.0;
    return outcome;
}
