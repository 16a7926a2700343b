#pragma once

#include <QString>

// The steps of the device check, in the order a run takes them, and what each found.
enum class CheckStep {
    Driver,
    Login,
    DeviceRow,
    MovementTable, // the duplicate check's cost (app/MovementTableStep.h)
    Terminal,
    LinkKey,
    Clock,
    PunchLog,
    ExportFile,
};
inline constexpr int kCheckStepCount = int(CheckStep::ExportFile) + 1;

// A warning is a finding a run goes on with (it passes the check).
enum class Verdict { Ok, Warning, Failed, Skipped };

struct StepResult {
    CheckStep step = CheckStep::Driver;
    Verdict verdict = Verdict::Skipped;
    QString detail; // what was found, or what went wrong
    QString hint;   // for a failure: where to look
};

// The step's name in the report: "ODBC driver \"SQL Server\"" (the device's
// driver), "database login", ...
QString StepName(CheckStep step, const QString& driver = QStringLiteral("SQL Server"));
