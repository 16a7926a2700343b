#pragma once

#include "FakeTerminalLink.h"
#include "LoopbackPorts.h"
#include "SimProcess.h"

#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "platform/Progress.h"
#include "store/Records.h"
#include "terminal/NetTerminalLink.h"
#include "terminal/TransferContext.h"

#include <QStringList>
#include <QTemporaryDir>

// One download or connection set-up against a real simulator: the link with
// short time-outs, recording sinks, a fixed clock and a temporary folder.
struct TransferRig {
    static constexpr int kConnectMs = 2000;
    static constexpr int kReadMs = 400;

    TransferRig() { link.SetTimeouts(kConnectMs, kReadMs); }

    // Starts the simulator and fills the device's address and port.
    bool StartSim(const QStringList& options)
    {
        if (!sim.Start(options))
            return false;
        device.IP = sim.Address();
        device.Port = QString::number(sim.Port());
        return true;
    }

    QString Folder() const { return folder.path(); }

    QTemporaryDir folder;
    SimProcess sim;
    NetTerminalLink link;
    RecordingProgress progress;
    RecordingMessageSink messages;
    FixedClock clock{QDateTime(QDate(2024, 3, 5), QTime(14, 30, 0))};
    CConnServer device;
    TransferContext ctx{link, progress, messages, clock, folder.path()};
};

// A punch log file in the simulator's format, from lines without the "P ".
QString WritePunchLog(const QString& folder, const QStringList& punches);

// Simulator options written as one line, split at the blanks.
QStringList Args(const QString& text);

// The range of March 2024, from its first midnight to the given hour on the
// 31st.
DownloadRange March(int lastHour);
