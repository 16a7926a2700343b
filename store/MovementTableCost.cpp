#include "store/MovementTableCost.h"

#include "store/PostingSteps.h"

#include <QElapsedTimer>

namespace {

// The indexes of tsrHrMovement whose first key column is Date or CardNb,
// with the server's own names of table and columns (any letter case).
const QString kSqlServerIndexQuery = QStringLiteral(
    "SELECT i.name AS Name FROM sys.indexes i "
    "JOIN sys.index_columns ic ON ic.object_id = i.object_id AND ic.index_id = i.index_id "
    "AND ic.key_ordinal = 1 "
    "JOIN sys.columns c ON c.object_id = ic.object_id AND c.column_id = ic.column_id "
    "WHERE i.object_id = OBJECT_ID('tsrHrMovement') AND UPPER(c.name) IN ('DATE', 'CARDNB')");
const QString kPostgreSqlIndexQuery = QStringLiteral(
    "SELECT ci.relname AS Name FROM pg_index i "
    "JOIN pg_class ci ON ci.oid = i.indexrelid "
    "JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = i.indkey[0] "
    "WHERE i.indrelid = (SELECT t.oid FROM pg_class t WHERE lower(t.relname) = 'tsrhrmovement' "
    "AND pg_table_is_visible(t.oid) LIMIT 1) AND upper(a.attname) IN ('DATE', 'CARDNB')");

} // namespace

const QString kMovementIndexStatement =
    QStringLiteral("CREATE INDEX tsrHrMovement_Date_CardNb ON tsrHrMovement (Date, CardNb)");

MovementTableCost MeasureMovementTableCost(Database& db)
{
    MovementTableCost cost;
    const auto unknown = [&cost](const QString& what, const DatabaseError& error) {
        if (cost.problem.isEmpty())
            cost.problem = what + QStringLiteral(": ") + error.Text();
    };
    try {
        if (const std::optional<double> rows = FirstRowNumber(
                db.Query(QStringLiteral("SELECT COUNT(*) AS Counted FROM tsrHrMovement")),
                QStringLiteral("Counted")))
            cost.rows = qint64(*rows);
    } catch (const DatabaseError& error) {
        unknown(QStringLiteral("counting the rows"), error);
    }
    try {
        std::optional<QSqlQuery> query = db.Query(
            TakesSqlServerStatements(db.Kind()) ? kSqlServerIndexQuery : kPostgreSqlIndexQuery);
        const std::optional<QVariantList> row = FirstRow(query, {QStringLiteral("Name")});
        cost.indexed = row.has_value();
        if (row)
            cost.indexName = row->first().toString();
    } catch (const DatabaseError& error) {
        unknown(QStringLiteral("reading the indexes"), error);
    }
    try {
        QElapsedTimer timer;
        timer.start();
        // A punch no row holds: the server reads what a posting's check reads.
        IsDuplicateMovement(db, QString(), QStringLiteral("1900-01-01 00:00:00"));
        cost.checkSeconds = double(timer.nsecsElapsed()) / 1e9;
    } catch (const DatabaseError& error) {
        unknown(QStringLiteral("timing a duplicate check"), error);
    }
    return cost;
}
