#include "Rig.h"

#include "store/ConnectionString.h"

QList<LogPunch> Rig::TodayPunches(const QString& cardPrefix, int count)
{
    const QDate today = QDate::currentDate();
    QList<LogPunch> punches;
    for (int i = 0; i < count; ++i)
        punches.append({cardPrefix + QString::number(i % 7),
                        QDateTime(today, QTime(0, 0, 0).addSecs(60 * i)), 1, i % 2, 0});
    return punches;
}

QString Rig::Guid(int number)
{
    return QStringLiteral("00000000-0000-0000-0000-%1").arg(number, 12, 10, QLatin1Char('0'));
}

CConnServer Rig::Record(int number, const QString& name, const QString& dbName) const
{
    CConnServer record = db.Record(dbName);
    record.DeviceId = Guid(number);
    record.Name = name;
    record.IsCheck = QStringLiteral("1");
    record.IsDeleteFile = QStringLiteral("0");
    record.FilePath = install.Folder() + QStringLiteral("/export");
    record.ConnStr = BuildConnStr(record);
    return record;
}

bool Rig::Register(int number, const QString& name, int port, const QString& dbName)
{
    testsupport::DeviceFixture row{
        Guid(number), QString::number(number), name, QStringLiteral("127.0.0.1"), port, 0, 1};
    ports_.insert(number, port);
    if (db.InsertDevices({row}, dbName))
        return true;
    error_ = db.LastError();
    return false;
}

bool Rig::StartSim(int number, const QStringList& options)
{
    auto sim = std::make_unique<SimProcess>();
    if (!sim->Start(options)) {
        error_ = QStringLiteral("simulator did not start: ") + sim->Error();
        return false;
    }
    sims_[number] = std::move(sim);
    return true;
}

SimProcess* Rig::Sim(int number) const
{
    const auto sim = sims_.find(number);
    return sim == sims_.end() ? nullptr : sim->second.get();
}

CConnServer Rig::AddDevice(int number, const QString& name, const QList<LogPunch>& punches,
                           const QStringList& simOptions, const QString& dbName)
{
    const QString log =
        WritePunchFile(install.Folder() + QStringLiteral("/punches-%1.txt").arg(number), punches);
    if (log.isEmpty() || !StartSim(number, QStringList{QStringLiteral("--log"), log} + simOptions))
        return {};
    if (!Register(number, name, Sim(number)->Port(), dbName))
        return {};
    return Record(number, name, dbName);
}

CConnServer Rig::AddGeneratedDevice(int number, const QString& name, const QStringList& simOptions)
{
    const QDate today = QDate::currentDate();
    const QStringList month{QStringLiteral("--from"),
                            QDate(today.year(), today.month(), 1).toString(Qt::ISODate),
                            QStringLiteral("--days"), QString::number(today.day())};
    if (!StartSim(number, month + simOptions) || !Register(number, name, Sim(number)->Port(), {}))
        return {};
    return Record(number, name, {});
}

bool Rig::ReplaceTerminal(int number, const QList<LogPunch>& punches)
{
    const QString log = WritePunchFile(
        install.Folder() + QStringLiteral("/punches-%1-sound.txt").arg(number), punches);
    if (log.isEmpty() || !StartSim(number, {QStringLiteral("--log"), log}))
        return false;
    ports_.insert(number, Sim(number)->Port());
    if (db.UpdateDevice(Guid(number), QStringLiteral("Port"), Sim(number)->Port()))
        return true;
    error_ = db.LastError();
    return false;
}

CConnServer Rig::AddUnreachableDevice(int number, const QString& name, const QString& dbName)
{
    const int port = closedPorts_.emplace_back(std::make_unique<testsupport::ClosedPort>())->Port();
    if (port == 0) {
        error_ = QStringLiteral("no loopback port could be reserved");
        return {};
    }
    if (!Register(number, name, port, dbName))
        return {};
    return Record(number, name, dbName);
}

CConnServer Rig::UnknownDevice(int number, const QString& name) const
{
    return Record(number, name, {});
}
