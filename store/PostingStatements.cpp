#include "store/PostingStatements.h"

namespace {

// Why a batch table, and why its columns are made this way:
//
// The per-row method asks "Date = ? AND CardNb = ?" with the punch's texts as
// parameters, then inserts the texts. The server converts the Date text to
// the column's type (the column's type wins over a text parameter) and
// compares CardNb under the column's collation (a column's collation wins
// over a parameter's). A punch is skipped when a row of the table, or one
// inserted earlier in the same posting, holds a Date and CardNb that compare
// equal to its texts.
//
// The batch table holds each punch's texts twice over: CardNb and Date in the
// form that comparison gives them, and Stored, the card number as the column
// stores it (the staging INSERT converts it as the per-row INSERT would,
// refusing a text too long and cutting surplus blanks, which PostgreSQL does
// silently). Comparing table rows and the Stored of earlier punches with CardNb
// and Date is then the per-row comparison, decided by the server:
//
// - PostgreSQL: CardNb and Date come from a UNION of the table's own columns
//   with NULLs. That keeps each column's type and collation and drops its
//   length or precision (a union of differing modifiers has none), which is
//   the type PostgreSQL gives an untyped parameter compared with the column;
//   psqlODBC sends every parameter untyped, so the staging INSERT converts the
//   texts as the per-row statements do. Stored is the table's column itself.
// - SQL Server: Qt sends texts as nvarchar. CardNb becomes nvarchar(max)
//   through CAST, which keeps the column's collation, so the comparison runs on
//   Unicode text under that collation, as the per-row one does. Date and
//   Stored keep the column's type.
//
// ID and Number are staged in the column's types: the staging INSERT converts
// the GUID text and the number as the per-row INSERT does. One difference
// remains, for a Date text with more fractional digits than the column keeps
// (PostgreSQL compares the unrounded value, stores it rounded); the punch
// texts have whole seconds.
// The lock's own time-out (lock_timeout, for this transaction) ends a wait
// with SQLSTATE 55P03, which tells it from a statement cancelled for any
// other reason.
const PostingStatements kPostgreSql{
    QStringLiteral("SET LOCAL lock_timeout = %1; LOCK TABLE tsrHrMovement IN EXCLUSIVE MODE"),
    false,
    QStringLiteral("55P03"),
    QStringLiteral("SELECT Max(Number) As Number FROM tsrHrMovement"),
    QStringLiteral("CREATE TEMPORARY TABLE zelvor_batch ON COMMIT DROP AS "
                   "SELECT u.Ord, u.ID, u.Number, u.CardNb, u.Date, t.CardNb AS Stored "
                   "FROM (SELECT 0 AS Ord, ID, Number, CardNb, Date FROM tsrHrMovement "
                   "WHERE 1 = 0 UNION ALL SELECT NULL, NULL, NULL, NULL, NULL) AS u "
                   "CROSS JOIN tsrHrMovement AS t WITH NO DATA"),
    QStringLiteral("zelvor_batch"),
};

// The lock is an application lock on a fixed name, owned by the transaction:
// it excludes the postings of every run of this program and leaves the table
// itself alone, so readers and the suite's own writers go on. Lock hints on
// the table would block readers on SQL Server (UPDLOCK with TABLOCK takes an
// exclusive table lock), and an engine that ignores table hints would exclude
// nothing. sp_getapplock's result says whether the lock was granted (0 or 1)
// or not (-1 time-out, -2 cancelled, -3 deadlock, -999 a wrong call).
// The highest Number comes in the same answer: the SELECT runs once the lock
// was granted (or not: then the posting stops without using it).
// NOCOUNT keeps the EXEC from answering with a row count before the SELECT;
// counting is switched on again before it, since some engines keep a SET made in a
// call for the rest of the session, and the merge's row count is needed.
const PostingStatements kSqlServer{
    QStringLiteral("SET NOCOUNT ON; DECLARE @Result int; "
                   "EXEC @Result = sp_getapplock @Resource = 'zelvor: posting to tsrHrMovement', "
                   "@LockMode = 'Exclusive', @LockOwner = 'Transaction', @LockTimeout = ?; "
                   "SET NOCOUNT OFF; "
                   "SELECT @Result AS Result, (SELECT Max(Number) FROM tsrHrMovement) AS Number"),
    true,
    {},
    QStringLiteral("SELECT Max(Number) As Number FROM tsrHrMovement"),
    QStringLiteral("SELECT TOP (0) CAST(0 AS int) AS Ord, ID, Number, "
                   "CAST(CardNb AS nvarchar(max)) AS CardNb, Date, CardNb AS Stored "
                   "INTO #zelvor_batch FROM tsrHrMovement"),
    QStringLiteral("#zelvor_batch"),
};

} // namespace

const PostingStatements& StatementsFor(ServerKind kind)
{
    return TakesSqlServerStatements(kind) ? kSqlServer : kPostgreSql;
}

QString StageStatement(const PostingStatements& statements, int rows)
{
    static const QString row = QStringLiteral("(?, ?, ?, ?, ?, ?)");
    QString text = QStringLiteral("INSERT INTO %1 (Ord, ID, Number, CardNb, Date, Stored) VALUES ")
                       .arg(statements.batch);
    text.reserve(text.size() + rows * (row.size() + 2));
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            text += QStringLiteral(", ");
        text += row;
    }
    return text;
}

QString MergeStatement(const PostingStatements& statements)
{
    // The staged Number is the punch's place in the list (from 1); the first
    // parameter adds the table's highest Number plus one, read under the lock.
    // The fixed values are those of the per-row INSERT. A punch is new when no
    // row of the table and no earlier punch of the same merge has its Date and
    // CardNb. An earlier punch either was inserted by this statement or was
    // itself found in the table (the comparison is the same), so the first of
    // two equal punches is inserted and the second skipped, as row by row. A
    // statement that fails inserts nothing; the posting then takes the batch
    // row by row (MovementPosting.cpp).
    //
    // ORDER BY changes no result; it makes the server find all new punches
    // before it inserts the first. Otherwise a server that believes the table
    // small (statistics of an emptied table) scans it once per punch while the
    // statement's own new rows pile up in it: quadratic.
    return QStringLiteral(
               "INSERT INTO tsrHrMovement (ID, ParentID, Number, CardNb, Date, Direction, "
               "Status, IsManual, IsDelete, IsPosted,UserID,CDate) "
               "SELECT b.ID, '00000000-0000-0000-0000-000000000000', b.Number + ?, b.CardNb, "
               "b.Date, -1, 0,0,0,0,'00000000-0000-0000-0000-000000000000', ? "
               "FROM %1 b WHERE b.Ord BETWEEN ? AND ? "
               "AND NOT EXISTS (SELECT 1 FROM tsrHrMovement t "
               "WHERE t.Date = b.Date AND t.CardNb = b.CardNb) "
               "AND NOT EXISTS (SELECT 1 FROM %1 e WHERE e.Ord >= ? AND e.Ord < b.Ord "
               "AND e.Date = b.Date AND e.Stored = b.CardNb) ORDER BY b.Ord")
        .arg(statements.batch);
}

QString CountStagedStatement(const PostingStatements& statements)
{
    return QStringLiteral("SELECT COUNT(*) AS Inserted FROM tsrHrMovement t WHERE EXISTS "
                          "(SELECT 1 FROM %1 b WHERE b.ID = t.ID AND b.Ord BETWEEN ? AND ?)")
        .arg(statements.batch);
}

QString BatchProbeStatement(const PostingStatements& statements)
{
    return QStringLiteral("SELECT 1 FROM %1 WHERE 1 = 0").arg(statements.batch);
}

const QString kDuplicateCheckStatement = QStringLiteral(
    "SELECT ISNULL(COUNT(*),0) AS CountEmpNB FROM tsrHrMovement WHERE Date =? AND CardNb =?");

const QString kInsertMovementStatement =
    QStringLiteral(" INSERT INTO tsrHrMovement (ID, ParentID, Number, CardNb, Date, Direction, "
                   "Status, IsManual, IsDelete, IsPosted,UserID,CDate) VALUES(?, "
                   "'00000000-0000-0000-0000-000000000000', ?, ?, ?, -1, "
                   "0,0,0,0,'00000000-0000-0000-0000-000000000000', ?)");
