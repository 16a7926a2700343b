#pragma once

#include "app/RunOptions.h"

#include <QDate>
#include <QList>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// One long option of the program ("--name"), as the option parser knows it.
struct LongOption {
    QString name;            // without the leading "--"
    bool takesValue = false; // "--name VALUE" or "--name=VALUE"
};

// The program's own options, taken out of its argument list. What is left goes
// to the positional parsing (CCommandParse) unchanged, in order: positional
// arguments and single-dash flags (Qt's own, such as -style NAME, among them).
struct ProgramOptions {
    bool help = false;
    bool version = false;
    QMap<QString, QString> values; // options that take a value, by name; the last one given wins
    QString program = QStringLiteral("zelvor"); // whose options: the usage errors' prefix
    QString error;         // one line for standard error when the usage is wrong
    QString errorArgument; // the argument that set error
    QStringList arguments; // the rest, for the positional parsing

    bool operator==(const ProgramOptions&) const = default;
};

// The long options the program understands.
const QList<LongOption>& ProgramLongOptions();

// Takes the long options out of the arguments (without the program path).
// "--" ends the options: every argument after it is left for the positional
// parsing. An unknown "--name", a missing value or a value given to an option
// that takes none sets error and stops the parsing. program names the
// program in the usage errors (zelvor-settings parses --device-timeout here
// too).
ProgramOptions ParseProgramOptions(const QStringList& arguments,
                                   const QList<LongOption>& known = ProgramLongOptions(),
                                   const QString& program = QStringLiteral("zelvor"));

// The run's options (--jobs, --device-timeout, --metrics, and the metrics path
// from ZELVOR_METRICS_FILE when the option is not given; --since, see
// SinceFrom). False with a usage error for a value out of range.
bool RunOptionsFrom(const ProgramOptions& options, const QProcessEnvironment& environment,
                    RunOptions& run, QString& error, const QDate& today = QDate::currentDate());

// The seconds of --device-timeout into seconds (left as they are without the
// option): a whole number from 0 (no limit) to a week, for the all-devices
// run and for zelvor-settings' check and set-clock alike. False with a usage
// error for any other value.
bool DeviceTimeoutFrom(const ProgramOptions& options, int& seconds, QString& error);

// The day of --since YYYY-MM-DD into since (left as it is without the option).
// False with a usage error for a day that is malformed, later than today or
// more than a year before it, and for --since with any start but the
// all-devices run.
bool SinceFrom(const ProgramOptions& options, const QDate& today, QDate& since, QString& error);

// The texts of --help and --version, each line ending with a line break. The
// help names the files of this build's layout and the manual pages; the
// version text of a program (zelvor or zelvor-settings) carries the copyright
// and licence lines.
QString ProgramHelpText();
QString ProgramVersionText(const QString& program = QStringLiteral("zelvor"));
