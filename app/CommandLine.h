#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

// Splits the program's arguments into positional arguments and flags. On this
// platform only "-" starts a flag, since "/" starts an absolute path. Flags are
// kept without their "-" and never take a position; nothing reads them.
class CCommandParse {
public:
    // Called once per argument after the program path, in order. isLast
    // marks the last argument, as a command-line splitter reports it; the
    // positions need no end marker, so nothing here reads it.
    void ParseParam(const QString& text, bool isFlag, bool isLast);

    // Splits a whole argument list (without the program path).
    static CCommandParse Parse(const QStringList& arguments);

    QStringList Params;
    QStringList Flags;
};

// What the command line asks of a run. All texts are empty unless a position
// gives them; AllDevicesRun is true for exactly one positional argument.
struct RunParameters {
    QString ArgFilePath;  // position 3: export folder of the single-terminal run
    QString ArgIP;        // position 4: terminal address of the single-terminal run
    QString ArgPort;      // position 5: terminal port
    QString ArgFromDate;  // position 14: first day of the range, as date text
    QString ArgToDate;    // position 15: last day of the range
    QString ArgCloseFlag; // position 16: "0" closes the program after a failed run too
    QString SelectedName; // position 17: device name for the combo
    bool AllDevicesRun = false;

    bool operator==(const RunParameters&) const = default;
};

// Maps the positional arguments onto the run parameters.
RunParameters MapParams(const QStringList& params);

// Why positions 14 and 15 give no range that a download could use: a text
// that cannot be read as a date, a last day missing, or a first day after the
// last. Such a run would keep no punch and replace the day's export file with
// an empty one. Empty when position 14 is empty (the pickers decide) or the
// range is sound.
QString CommandLineRangeProblem(const RunParameters& run,
                                const QLocale& locale = QLocale::system());
