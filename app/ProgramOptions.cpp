#include "app/ProgramOptions.h"

#include "app/CommandLine.h"
#include "app/Version.h"
#include "platform/InstallLayout.h"
#include "platform/IntText.h"
#include "platform/MessageSink.h"

#include <QRegularExpression>

namespace {

const LongOption* Find(const QList<LongOption>& known, const QString& name)
{
    for (const LongOption& option : known)
        if (option.name == name)
            return &option;
    return nullptr;
}

QString UsageError(const ProgramOptions& options, const QString& text)
{
    return QStringLiteral("%1: %2 (see %1 --help)").arg(options.program, text);
}

} // namespace

const QList<LongOption>& ProgramLongOptions()
{
    static const QList<LongOption> options = {
        {QStringLiteral("help"), false},   {QStringLiteral("version"), false},
        {QStringLiteral("jobs"), true},    {QStringLiteral("device-timeout"), true},
        {QStringLiteral("metrics"), true}, {QStringLiteral("clock-limit"), true},
        {QStringLiteral("since"), true},
    };
    return options;
}

ProgramOptions ParseProgramOptions(const QStringList& arguments, const QList<LongOption>& known,
                                   const QString& program)
{
    ProgramOptions options;
    options.program = program;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (arg == QLatin1String("--")) {
            options.arguments += arguments.mid(i + 1);
            break;
        }
        // A single dash, or a lone "-", is a flag for the positional parsing.
        if (!arg.startsWith(QLatin1String("--"))) {
            options.arguments.append(arg);
            continue;
        }
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const QString name = arg.mid(2, equals < 0 ? -1 : equals - 2);
        const LongOption* option = Find(known, name);
        if (!option) {
            options.error = UsageError(options, QStringLiteral("unknown option --%1").arg(name));
            options.errorArgument = arg;
            break;
        }
        if (!option->takesValue) {
            if (equals >= 0) {
                options.error =
                    UsageError(options, QStringLiteral("option --%1 takes no value").arg(name));
                options.errorArgument = arg;
                break;
            }
            options.help = options.help || name == QLatin1String("help");
            options.version = options.version || name == QLatin1String("version");
            continue;
        }
        // The value is part of the option, never a positional argument.
        if (equals >= 0) {
            options.values.insert(name, arg.mid(equals + 1));
        } else if (i + 1 < arguments.size()) {
            options.values.insert(name, arguments.at(++i));
        } else {
            options.error =
                UsageError(options, QStringLiteral("option --%1 needs a value").arg(name));
            options.errorArgument = arg;
            break;
        }
    }
    return options;
}

namespace {

// A whole number from low to high for the option name, or the usage error.
bool NumberOption(const ProgramOptions& options, const char* name, int low, int high, int& value,
                  QString& error)
{
    const QString key = QLatin1String(name);
    if (!options.values.contains(key))
        return true;
    int number = 0;
    if (!ParseWholeInt(QStringView(options.values.value(key)), number) || number < low ||
        number > high) {
        error = UsageError(
            options,
            QStringLiteral("--%1 takes a whole number from %2 to %3").arg(key).arg(low).arg(high));
        return false;
    }
    value = number;
    return true;
}

} // namespace

bool RunOptionsFrom(const ProgramOptions& options, const QProcessEnvironment& environment,
                    RunOptions& run, QString& error, const QDate& today)
{
    run.metricsPath = options.values.value(
        QStringLiteral("metrics"), environment.value(QStringLiteral("ZELVOR_METRICS_FILE")));
    return NumberOption(options, "jobs", 1, RunOptions::kMaxJobs, run.jobs, error) &&
           DeviceTimeoutFrom(options, run.deviceTimeoutSeconds, error) &&
           NumberOption(options, "clock-limit", 0, 7 * 24 * 3600, run.clockLimitSeconds, error) &&
           SinceFrom(options, today, run.since, error);
}

bool DeviceTimeoutFrom(const ProgramOptions& options, int& seconds, QString& error)
{
    return NumberOption(options, "device-timeout", 0, 7 * 24 * 3600, seconds, error);
}

bool SinceFrom(const ProgramOptions& options, const QDate& today, QDate& since, QString& error)
{
    const QString key = QStringLiteral("since");
    if (!options.values.contains(key))
        return true;
    const QString text = options.values.value(key);
    static const QRegularExpression shape(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    const QDate day = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    const QDate earliest = today.addYears(-1);
    if (!shape.match(text).hasMatch() || !day.isValid())
        error = UsageError(
            options,
            QStringLiteral("--since takes a day as YYYY-MM-DD, not '%1'").arg(OneLine(text)));
    else if (day > today)
        error = UsageError(options, QStringLiteral("--since %1 lies in the future (today is %2)")
                                        .arg(text, today.toString(Qt::ISODate)));
    else if (day < earliest)
        error = UsageError(options,
                           QStringLiteral("--since %1 lies more than a year back (the earliest "
                                          "day is %2)")
                               .arg(text, earliest.toString(Qt::ISODate)));
    else if (!MapParams(CCommandParse::Parse(options.arguments).Params).AllDevicesRun)
        error = UsageError(options,
                           QStringLiteral("--since works only with the all-devices run (zelvor "
                                          "--since DAY 1), not with one terminal or the window"));
    if (!error.isEmpty())
        return false;
    since = day;
    return true;
}

QString ProgramHelpText()
{
    const QString usage = QStringLiteral(
        "usage: zelvor [OPTION]... [ARGUMENT]...\n"
        "\n"
        "Moves attendance punches from the time terminals listed in config.ini into\n"
        "the HR suite's database, and writes a daily export file per terminal.\n"
        "\n"
        "Run modes, by the number of positional arguments:\n"
        "  zelvor            interactive: the start-up password, then the main window\n"
        "                    (without a display: the password on the terminal, then exit)\n"
        "  zelvor 1          all-devices run: every device of config.ini in turn, then\n"
        "                    exit; never opens a window (any one argument does this)\n"
        "  zelvor A1 .. An   2 to 17 arguments: a single-terminal run when position 4\n"
        "                    names a terminal, else interactive. Positions used:\n"
        "                      3  export folder       14  first day (the locale's short\n"
        "                      4  terminal address        date format or yyyy-mm-dd)\n"
        "                      5  terminal port       15  last day\n"
        "                                             16  0: exit after a failure too\n"
        "                                             17  the device to select\n"
        "                    the other positions are placeholders (write x)\n"
        "\n"
        "Options:\n"
        "  --help            show this help and exit\n"
        "  --version         show the version and exit\n"
        "  --jobs N          all-devices run: devices processed at the same time (1-64,\n"
        "                    default 16); downloads run side by side, postings take turns\n"
        "                    in the order of config.ini; 1: one device after the other\n"
        "  --device-timeout SECONDS\n"
        "                    a device that takes longer (download and posting) fails\n"
        "                    and the run goes on (default 600; 0: no limit)\n"
        "  --metrics FILE    all-devices run: write its outcome as metrics in the\n"
        "                    Prometheus text format to FILE (also: $ZELVOR_METRICS_FILE)\n"
        "  --clock-limit SECONDS\n"
        "                    all-devices run: warn about a terminal whose clock is more\n"
        "                    than SECONDS off this host's (default 120); punches keep\n"
        "                    the terminal's time, set it with zelvor-settings set-clock\n"
        "  --since YYYY-MM-DD\n"
        "                    all-devices run: every device's range starts that day (at\n"
        "                    most a year back), e.g. after restoring the suite's\n"
        "                    database from a backup; punches already in the table are\n"
        "                    skipped, so nothing is posted twice\n"
        "  --                end of options: the arguments after it are positional\n"
        "Arguments beginning with a single \"-\" are flags: accepted, ignored, and they\n"
        "take no position. Qt's own options are such flags (-style NAME, -platform\n"
        "NAME); the NAME after one counts as a positional argument.\n"
        "\n"
        "Exit status:\n"
        "  0  every device of the run succeeded; an interactive session\n"
        "  1  a device failed, config.ini lists no device or cannot be read, or the\n"
        "     password was refused\n"
        "  2  wrong usage; also positions 14 and 15 that give no range (a text that is\n"
        "     not a date, the first day after the last): nothing is downloaded or written\n"
        "\n");
    return usage + QStringLiteral("Settings: %1/config.ini (edit it with zelvor-settings); export "
                                  "folder\nunless a device names one: %2/log\n"
                                  "Manual pages: zelvor(1), zelvor-settings(1) (man zelvor).\n")
                       .arg(ConfigFolder(), StateFolder());
}

QString ProgramVersionText(const QString& program)
{
    return QStringLiteral("%1 %2\n%3\n%4\n")
        .arg(program, QLatin1String(kZelvorVersion), QLatin1String(kZelvorCopyright),
             QLatin1String(kZelvorLicence));
}
