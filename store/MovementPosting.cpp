#include "store/MovementPosting.h"

#include "platform/DateTexts.h"
#include "resources/FaultTexts.h"
#include "store/SqlValues.h"

#include <QUuid>

namespace {

void ShowDatabaseError(MessageSink& messages, const DatabaseError& error)
{
    messages.Show(faulttext::kDatabaseError + error.Text());
}

} // namespace

double NextMovementNumber(Database& db, MessageSink& messages)
{
    try {
        std::optional<QSqlQuery> query =
            db.Query(QStringLiteral("SELECT Max(Number) As Number FROM tsrHrMovement"));
        if (!query) {
            messages.Show(faulttext::kQueryFailed);
            return 0;
        }
        if (!NextRow(*query))
            return 0;
        return NumberOf(query->value(QStringLiteral("Number"))).value_or(0) + 1;
    } catch (const DatabaseError& error) {
        ShowDatabaseError(messages, error);
        return 0;
    }
}

bool IsDuplicateMovement(Database& db, MessageSink& messages, const QString& cardNb,
                         const QString& date)
{
    try {
        std::optional<QSqlQuery> query =
            db.Query(QStringLiteral("SELECT ISNULL(COUNT(*),0) AS CountEmpNB FROM tsrHrMovement "
                                    "WHERE Date =? AND CardNb =?"),
                     {date, cardNb});
        if (!query) {
            messages.Show(faulttext::kQueryFailed);
            return false;
        }
        if (!NextRow(*query))
            return false;
        return NumberOf(query->value(QStringLiteral("CountEmpNB"))).value_or(0) > 0;
    } catch (const DatabaseError& error) {
        ShowDatabaseError(messages, error);
        return false;
    }
}

bool InsertMovement(Database& db, MessageSink& messages, const Clock& clock, const QString& cardNb,
                    const QString& date, const QString& /*code2*/, double number)
{
    const QString id = NewGuidText();
    const QDate now = clock.now().date();
    const QString today = YearMonthDayText(now.year(), now.month(), now.day());
    try {
        db.Execute(QStringLiteral(" INSERT INTO tsrHrMovement (ID, ParentID, Number, CardNb, "
                                  "Date, Direction, Status, IsManual, IsDelete, "
                                  "IsPosted,UserID,CDate) VALUES(?, "
                                  "'00000000-0000-0000-0000-000000000000', ?, ?, ?, -1, "
                                  "0,0,0,0,'00000000-0000-0000-0000-000000000000', ?)"),
                   {id, number, cardNb, date, today});
        return true;
    } catch (const DatabaseError& error) {
        ShowDatabaseError(messages, error);
        return false;
    }
}

QString NewGuidText()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}

PostingSummary PostMovements(CConnServer record, const MoveRecList& movements, Database& db,
                             MessageSink& messages, const Clock& clock)
{
    PostingSummary summary;
    if (!EnsureOpen(db, record.ConnStr))
        return summary;
    // The first punch gets the highest Number plus two; every punch uses up one
    // number, whether it is inserted, skipped or refused.
    double number = NextMovementNumber(db, messages) + 1;
    for (const MoveRec& movement : movements) {
        if (IsDuplicateMovement(db, messages, movement.CardNb, movement.Date))
            ++summary.skipped;
        else if (InsertMovement(db, messages, clock, movement.CardNb, movement.Date, movement.Code2,
                                number))
            ++summary.inserted;
        else
            ++summary.failed;
        number += 1;
    }
    db.Close();
    return summary;
}
