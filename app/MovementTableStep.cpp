#include "app/MovementTableStep.h"

namespace {

QString SecondsText(double seconds)
{
    return QString::number(seconds, 'f', 2);
}

} // namespace

StepResult MovementTableStep(const MovementTableCost& cost)
{
    StepResult step{CheckStep::MovementTable, Verdict::Ok, {}, {}};
    if (!cost.rows) {
        step.verdict = Verdict::Failed;
        step.detail = QStringLiteral("tsrHrMovement cannot be read: ") + cost.problem;
        step.hint = QStringLiteral("a run could not post either; the login needs SELECT and "
                                   "INSERT on tsrHrMovement");
        return step;
    }
    const QString took =
        cost.checkSeconds
            ? QStringLiteral("a device's check took %1 s").arg(SecondsText(*cost.checkSeconds))
            : QStringLiteral("a device's check could not be timed");
    step.detail = QStringLiteral("%1 rows").arg(*cost.rows);
    if (cost.indexed.value_or(false)) {
        step.detail += QStringLiteral("; the index %1 serves the duplicate check (%2)")
                           .arg(cost.indexName, took);
        return step;
    }
    step.detail += cost.indexed ? QStringLiteral(" and no index serves the duplicate check by "
                                                 "Date and CardNb: %1; each device's posting "
                                                 "reads the whole table")
                                      .arg(took)
                                : QStringLiteral(" and whether an index serves the duplicate "
                                                 "check could not be read (%1): %2")
                                      .arg(cost.problem, took);
    if (*cost.rows > kLargeMovementTableRows) {
        step.verdict = Verdict::Warning;
        step.hint =
            QStringLiteral("a database administrator could run: ") + kMovementIndexStatement;
    }
    return step;
}
