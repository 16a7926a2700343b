#pragma once

#include "LoopbackPorts.h"
#include "ProgramRun.h"
#include "SimProcess.h"
#include "TestDatabase.h"

#include <QDateTime>
#include <QHash>

#include <map>
#include <memory>
#include <vector>

// A site for end-to-end runs: the installed program, the test database, and
// simulated terminals registered in the suite's device table.
class Rig {
public:
    Rig() = default;

    // Punches of today (so the all-devices range, first of month to now, keeps them).
    static QList<LogPunch> TodayPunches(const QString& cardPrefix, int count);

    // Starts a simulator serving punches (extra options for faults) and
    // registers the device in dbName's device table; returns its record for
    // config.ini. Empty Name on failure (see Error()).
    CConnServer AddDevice(int number, const QString& name, const QList<LogPunch>& punches,
                          const QStringList& simOptions = {}, const QString& dbName = {});
    // A device whose terminal generates its punches (the simulator's own
    // generator, from the first of this month to today), e.g. for a flood.
    CConnServer AddGeneratedDevice(int number, const QString& name, const QStringList& simOptions);
    // Gives a registered device a new, sound terminal serving punches (the
    // device table learns its port), as after a faulty terminal was mended.
    bool ReplaceTerminal(int number, const QList<LogPunch>& punches);
    // The simulator of a device; null for a device without one.
    SimProcess* Sim(int number) const;

    // A device whose terminal address answers nothing (a closed loopback port).
    CConnServer AddUnreachableDevice(int number, const QString& name, const QString& dbName = {});
    // A record for config.ini whose device the suite does not know.
    CConnServer UnknownDevice(int number, const QString& name) const;

    static QString Guid(int number);
    // The port of a device's terminal, as the device table holds it.
    QString Port(int number) const { return QString::number(ports_.value(number)); }
    QString Error() const { return error_; }

    testsupport::TestDatabase db;
    ProgramInstall install;

private:
    CConnServer Record(int number, const QString& name, const QString& dbName) const;
    bool Register(int number, const QString& name, int port, const QString& dbName);

    bool StartSim(int number, const QStringList& options);

    std::map<int, std::unique_ptr<SimProcess>> sims_;
    std::vector<std::unique_ptr<testsupport::ClosedPort>> closedPorts_;
    QHash<int, int> ports_;
    QString error_;
};
