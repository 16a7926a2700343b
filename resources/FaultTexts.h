#pragma once

#include <QString>

// The English texts of technical faults that the program shows in message
// boxes (or writes as lines when it runs unattended).
namespace faulttext {

// The terminal.
inline const QString kReadFailed = QStringLiteral("Reading data from terminal failed,ErrorCode: ");
inline const QString kNoData = QStringLiteral("No data from terminal returns!");
inline const QString kStreamBroken =
    QStringLiteral("Reading data from terminal failed: the punch log was cut short after %1 "
                   "punches (%2). Nothing was exported or queued.");
inline const QString kStreamNotAuthentic =
    QStringLiteral("Reading data from terminal failed: the punch log's authentication code did "
                   "not match after %1 punches (%2). Nothing was exported or queued.");

// Files.
inline const QString kEmptyPath = QStringLiteral("File path cannot be empty.");
inline const QString kSettingsOpenFailed = QStringLiteral("Failed to open the file.");
inline const QString kSettingsNotUtf16 = QStringLiteral("The file is not UTF-16 encoded.");
inline const QString kNameChanged =
    QStringLiteral("Device names with line breaks or control characters were stored changed: ");

// The database.
inline const QString kDeviceQueryFailed =
    QStringLiteral("Failed to execute query to retrieve devices.");
inline const QString kQueryFailed = QStringLiteral("Failed to execute the query.");
inline const QString kDatabaseError = QStringLiteral("Database error: ");
inline const QString kNoOdbcDriver = QStringLiteral("The Qt ODBC driver (QODBC) is not available.");
inline const QString kNotOpen = QStringLiteral("The database connection is not open.");
inline const QString kMovementTableLocked =
    QStringLiteral("The movement table tsrHrMovement stayed locked by another connection (another "
                   "posting?) for %1 seconds; nothing was posted: ");
inline const QString kPostingLockRefused =
    QStringLiteral("The posting lock on tsrHrMovement was not granted; nothing was posted: ");
inline const QString kPostingGivenUp =
    QStringLiteral("The posting was given up after %1 attempts, each ended by a refusal that also "
                   "ended its transaction; nothing was posted. The last refusal: ");

} // namespace faulttext
