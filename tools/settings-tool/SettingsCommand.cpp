#include "SettingsCommand.h"

#include "CheckCommand.h"
#include "ClockCommand.h"
#include "StatusCommand.h"

#include "app/ProgramOptions.h"
#include "app/RunOptions.h"
#include "app/RunRecordStore.h"
#include "platform/InstallLayout.h"
#include "platform/RegistryStore.h"
#include "settings/CCrypt.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

const char* const kUsage =
    "usage: zelvor-settings [--file PATH] COMMAND\n"
    "       zelvor-settings --help | --version\n"
    "\n"
    "Reads and edits config.ini (by default %1/config.ini), and checks its\n"
    "devices. %2\n"
    "\n"
    "commands:\n"
    "  list                      the devices, one block each (passwords are not shown);\n"
    "                            no config.ini yet: no devices\n"
    "  add --id ID --name NAME --server HOST --user LOGIN --db NAME\n"
    "      [--password TEXT | --password-stdin] [--export PATH]\n"
    "      [--offer 1|0] [--delete-file 0|1] [--driver-options \"KEY=VALUE;...\"]\n"
    "      [--driver NAME]       the ODBC driver's registered name (default SQL Server)\n"
    "                            adds a device at the end, or replaces the one of\n"
    "                            that name where it stands\n"
    "  remove NAME               removes the devices of that name\n"
    "  check [--device-timeout SECONDS] [NAME]\n"
    "                            checks every device (or the one named) the way a run\n"
    "                            would, posting nothing and leaving the terminal on:\n"
    "                            ODBC driver, database login, device row, movement\n"
    "                            table, terminal, link key, punch log; one line per\n"
    "                            step (ok, FAILED with a hint, skipped); at most\n"
    "                            SECONDS per device (default 600, at most 604800, a\n"
    "                            week; 0: only the time-outs); a terminal clock more\n"
    "                            than 120 s off this host's, and a movement table of\n"
    "                            over a million rows without an index for the\n"
    "                            duplicate check, are WARNINGs\n"
    "  set-clock [--device-timeout SECONDS] NAME\n"
    "                            sets the clock of the device's terminal to this host's\n"
    "                            time and reads it back (punches already taken keep\n"
    "                            the time they carry)\n"
    "  status [--format text|json]\n"
    "                            what each device's last all-devices run did (outcome\n"
    "                            or reason, start, duration, punches, terminal clock),\n"
    "                            its last success, and the timer's next run; reads\n"
    "                            only; run it as the account that runs zelvor 1\n"
    "\n"
    "exit status: 0 done (check: every device passed; set-clock: the terminal keeps\n"
    "the time; status: every device's last run succeeded), 1 failed, 2 wrong usage\n"
    "Manual pages: zelvor-settings(1), zelvor(1) (man zelvor-settings).\n";

// What saving keeps of config.ini, in the system's terms.
#ifdef Q_OS_WIN
const char* const kSavingKeeps = "Saving keeps the file's permissions and attributes.";
#else
const char* const kSavingKeeps = "Saving keeps the file's owner, group and mode.";
#endif

QString Usage()
{
    return QString::fromLatin1(kUsage).arg(QDir::toNativeSeparators(ConfigFolder()),
                                           QLatin1String(kSavingKeeps));
}

void Print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

struct Session {
    QString path;
    CConnServerList devices;
    CCrypt crypt;

    // Only a file that is not there at all; one that cannot be looked at (a
    // folder without access) is not missing but unreadable.
    bool Missing() const
    {
        std::error_code error;
        const auto status = std::filesystem::status(QFile::encodeName(path).toStdString(), error);
        return status.type() == std::filesystem::file_type::not_found;
    }

    // An absent file is an empty list for list and add; anything else must read cleanly.
    bool Load(bool mayBeMissing)
    {
        if (mayBeMissing && Missing())
            return true;
        const SettingsLoad load = LoadSettings(path, devices, crypt);
        if (!load.read)
            Print(stderr, QStringLiteral("zelvor-settings: %1: %2\n").arg(path, load.problem));
        return load.read;
    }
    bool Save()
    {
        QString problem;
        if (SaveSettings(devices, path, crypt, &problem))
            return true;
        Print(stderr, QStringLiteral("zelvor-settings: %1 not saved: %2\n").arg(path, problem));
        return false;
    }
};

int List(Session& session)
{
    // A fresh installation has no config.ini until the first device is added.
    if (session.Missing()) {
        Print(stderr, QStringLiteral("zelvor-settings: %1 does not exist yet: no devices\n")
                          .arg(session.path));
        return 0;
    }
    if (!session.Load(false))
        return 1;
    for (const CConnServer& d : session.devices)
        Print(stdout,
              QStringLiteral("[%1]\n  DeviceId=%2\n  FilePath=%3\n  IsCheck=%4\n"
                             "  IsDeleteFile=%5\n  Server=%6\n  User=%7\n  Pass=%8\n"
                             "  DbName=%9\n")
                      .arg(d.Name, d.DeviceId, d.FilePath, d.IsCheck, d.IsDeleteFile, d.Server,
                           d.User,
                           d.Pass.isEmpty() ? QStringLiteral("(empty)") : QStringLiteral("(set)"),
                           d.DbName) +
                  (d.DriverOptions.isEmpty()
                       ? QString()
                       : QStringLiteral("  DriverOptions=%1\n").arg(d.DriverOptions)) +
                  (d.Driver.isEmpty() ? QString() : QStringLiteral("  Driver=%1\n").arg(d.Driver)));
    return 0;
}

QString ReadPasswordLine()
{
    QTextStream in(stdin);
    return in.readLine();
}

int Add(Session& session, const QStringList& args)
{
    static const QHash<QString, QString CConnServer::*> fields{
        {QStringLiteral("--id"), &CConnServer::DeviceId},
        {QStringLiteral("--name"), &CConnServer::Name},
        {QStringLiteral("--server"), &CConnServer::Server},
        {QStringLiteral("--user"), &CConnServer::User},
        {QStringLiteral("--db"), &CConnServer::DbName},
        {QStringLiteral("--password"), &CConnServer::Pass},
        {QStringLiteral("--export"), &CConnServer::FilePath},
        {QStringLiteral("--offer"), &CConnServer::IsCheck},
        {QStringLiteral("--delete-file"), &CConnServer::IsDeleteFile},
        {QStringLiteral("--driver-options"), &CConnServer::DriverOptions},
        {QStringLiteral("--driver"), &CConnServer::Driver},
    };
    CConnServer device;
    device.IsCheck = QStringLiteral("1");
    device.IsDeleteFile = QStringLiteral("0");
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--password-stdin")) {
            device.Pass = ReadPasswordLine();
            continue;
        }
        const auto field = fields.constFind(args[i]);
        if (field == fields.cend() || i + 1 >= args.size()) {
            Print(stderr, QStringLiteral("zelvor-settings: unknown or incomplete option %1\n%2")
                              .arg(args[i], Usage()));
            return 2;
        }
        device.*(field.value()) = args[++i];
    }
    if (device.DeviceId.isEmpty() || device.Name.isEmpty()) {
        Print(stderr, QStringLiteral("zelvor-settings: add needs --id and --name\n"));
        return 2;
    }
    if (StorableDeviceName(device.Name) != device.Name) {
        Print(stderr, QStringLiteral("zelvor-settings: a device name cannot hold line breaks or "
                                     "other control characters\n"));
        return 2;
    }
    if (!session.Load(true))
        return 1;
    // A device of that name is replaced where it stands, as the all-devices
    // run follows the file's order; a new one comes last.
    CConnServerList& devices = session.devices;
    const auto named = [&](const CConnServer& d) { return d.Name == device.Name; };
    const auto found = std::find_if(devices.begin(), devices.end(), named);
    if (found == devices.end()) {
        devices.append(device);
    } else {
        *found = device;
        devices.erase(std::remove_if(found + 1, devices.end(), named), devices.end());
    }
    return session.Save() ? 0 : 1;
}

int Remove(Session& session, const QStringList& args)
{
    if (args.size() != 1) {
        Print(stderr, Usage());
        return 2;
    }
    if (!session.Load(false))
        return 1;
    const qsizetype before = session.devices.size();
    session.devices.removeIf([&](const CConnServer& d) { return d.Name == args.first(); });
    if (session.devices.size() == before) {
        Print(stderr, QStringLiteral("zelvor-settings: no device named %1\n").arg(args.first()));
        return 1;
    }
    return session.Save() ? 0 : 1;
}

// The options of check and set-clock: --device-timeout, as the program
// parses and limits it, and device names. Returns 0, or the exit status of a
// usage error (said on standard error).
int DeviceArguments(const QStringList& args, int& timeout, QStringList& names)
{
    static const QList<LongOption> known{{QStringLiteral("device-timeout"), true}};
    const ProgramOptions options =
        ParseProgramOptions(args, known, QStringLiteral("zelvor-settings"));
    if (!options.error.isEmpty()) {
        Print(stderr, QStringLiteral("zelvor-settings: unknown or incomplete option %1\n%2")
                          .arg(options.errorArgument, Usage()));
        return 2;
    }
    timeout = RunOptions::kDefaultDeviceTimeoutSeconds;
    QString error;
    if (!DeviceTimeoutFrom(options, timeout, error)) {
        Print(stderr, error + QLatin1Char('\n'));
        return 2;
    }
    names = options.arguments;
    return 0;
}

// The devices of config.ini, or the one named; empty after saying why.
CConnServerList ChosenDevices(Session& session, const QStringList& names, const char* what)
{
    if (session.Missing()) {
        Print(stderr, QStringLiteral("zelvor-settings: %1 does not exist: no devices to %2\n")
                          .arg(session.path, QLatin1String(what)));
        return {};
    }
    if (!session.Load(false))
        return {};
    CConnServerList devices = session.devices;
    if (!names.isEmpty())
        devices.removeIf([&](const CConnServer& d) { return d.Name != names.first(); });
    if (devices.isEmpty())
        Print(stderr,
              names.isEmpty()
                  ? QStringLiteral("zelvor-settings: %1 lists no devices\n").arg(session.path)
                  : QStringLiteral("zelvor-settings: no device named %1\n").arg(names.first()));
    return devices;
}

int Check(Session& session, const QStringList& args)
{
    int timeout = 0;
    QStringList names;
    if (const int usage = DeviceArguments(args, timeout, names))
        return usage;
    if (names.size() > 1) {
        Print(stderr, QStringLiteral("zelvor-settings: check takes at most one device name\n"));
        return 2;
    }
    const CConnServerList devices = ChosenDevices(session, names, "check");
    return devices.isEmpty() ? 1 : CheckDevices(devices, timeout, stdout);
}

int SetClock(Session& session, const QStringList& args)
{
    int timeout = 0;
    QStringList names;
    if (const int usage = DeviceArguments(args, timeout, names))
        return usage;
    if (names.size() != 1) {
        Print(stderr, QStringLiteral("zelvor-settings: set-clock takes one device name\n"));
        return 2;
    }
    const CConnServerList devices = ChosenDevices(session, names, "set the clock of");
    return devices.isEmpty() ? 1 : SetDeviceClock(devices.first(), timeout, stdout);
}

int Status(Session& session, const QStringList& args)
{
    const QString format = StatusFormat(args);
    if (format.isEmpty())
        return 2;
    const CConnServerList devices = ChosenDevices(session, {}, "show");
    if (devices.isEmpty())
        return 1;
    const std::unique_ptr<RegistryStore> user = UserRegistry();
    RunRecordStore records(*user, RunRecordsFolder());
    for (const QString& warning : records.Warnings())
        Print(stderr, QStringLiteral("zelvor-settings: %1\n").arg(warning));
    return PrintStatus(devices, format == QLatin1String("json"), records.Store(), stdout);
}

} // namespace

int RunSettingsCommand(const QStringList& arguments)
{
    QStringList args = arguments;
    Session session;
    session.path = ConfigFolder() + QStringLiteral("/config.ini");
    if (args.size() >= 2 && args.first() == QLatin1String("--file")) {
        session.path = args.at(1);
        args = args.mid(2);
    }
    if (args.size() == 1 && args.first() == QLatin1String("--version")) {
        Print(stdout, ProgramVersionText(QStringLiteral("zelvor-settings")));
        return 0;
    }
    if (args.isEmpty() || args.first() == QLatin1String("--help")) {
        Print(args.isEmpty() ? stderr : stdout, Usage());
        return args.isEmpty() ? 2 : 0;
    }
    const QString command = args.takeFirst();
    // Which of two copies of config.ini is read, where a reader would not guess.
    const QString copies = ConfigCopiesNote();
    if (!copies.isEmpty() &&
        (command == QLatin1String("check") || command == QLatin1String("status")))
        Print(stderr, QStringLiteral("zelvor-settings: warning: %1\n").arg(copies));
    if (command == QLatin1String("list") && args.isEmpty())
        return List(session);
    if (command == QLatin1String("add"))
        return Add(session, args);
    if (command == QLatin1String("remove"))
        return Remove(session, args);
    if (command == QLatin1String("check"))
        return Check(session, args);
    if (command == QLatin1String("set-clock"))
        return SetClock(session, args);
    if (command == QLatin1String("status"))
        return Status(session, args);
    if (command == QLatin1String("list"))
        Print(stderr, QStringLiteral("zelvor-settings: list takes no arguments\n"));
    else
        Print(stderr, QStringLiteral("zelvor-settings: unknown command %1 "
                                     "(see zelvor-settings --help)\n")
                          .arg(command));
    return 2;
}
