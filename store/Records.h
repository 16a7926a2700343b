#pragma once

#include <QList>
#include <QString>

// A fingerprint terminal together with the database connection that its
// movements go to. Field names follow the host suite's columns and the keys
// of config.ini; all are texts and empty after construction.
struct CConnServer {
    QString DeviceId;     // ID of the device row in tsrHrDeviceShift
    QString Name;         // section name in config.ini, text of the device combo
    QString IP;           // filled from the device table, never stored
    QString Port;         // filled from the device table, never stored
    QString IPKey;        // filled from the device table, never stored
    QString FilePath;     // export folder, or the export file itself when it ends in .txt
    QString IsCheck;      // "1": offered in the device combo
    QString IsDeleteFile; // "1": the export file is deleted after the download
    QString Server;
    QString User;
    QString Pass; // plain text in memory, enciphered in config.ini
    QString DbName;
    // Further ODBC attributes for the driver, "Key=value;Key=value", appended
    // to the connection string (for example "Encrypt=yes" for a driver that
    // encrypts and checks the server's certificate by default).
    QString DriverOptions;
    // The name the ODBC driver is registered under; empty: "SQL Server", the
    // driver every Windows has (a site may name a newer one it installed).
    QString Driver;
    QString ConnStr; // rebuilt from the fields above

    bool operator==(const CConnServer&) const = default;
};

// One punch in the text form in which it is posted to the database.
struct MoveRec {
    QString CardNb; // exactly as the terminal returned it
    QString Date;   // "2024-03-07 08:05:09 " with its trailing blank
    QString Code2;  // decimal text of the punch's second code

    bool operator==(const MoveRec&) const = default;
};

// One punch as read from the terminal: the one shape in which a punch goes
// from the link through the date filter to the export file and the movement
// list. Date and time are the terminal's values as sent, so an impossible
// date reaches the filter, which skips it.
struct CAttLogRec {
    int Seq = 0; // running number within one download, from 1, out-of-range punches included
    QString CardNb;
    int Code1 = 0;
    int Code2 = 0;
    int Code3 = 0;
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;

    bool operator==(const CAttLogRec&) const = default;
};

// Plain values of implicitly shared texts: lists may move them in memory as
// bytes, which keeps growing a list of a million movements cheap.
Q_DECLARE_TYPEINFO(CConnServer, Q_RELOCATABLE_TYPE);
Q_DECLARE_TYPEINFO(MoveRec, Q_RELOCATABLE_TYPE);
Q_DECLARE_TYPEINFO(CAttLogRec, Q_RELOCATABLE_TYPE);

// Ordered lists: append at the tail, iterate head to tail, clear.
using CConnServerList = QList<CConnServer>;
using MoveRecList = QList<MoveRec>;
using CAttLogRecList = QList<CAttLogRec>;

// The movement that posts a punch: its card number as read, its Date
// "2024-03-05 08:07:09 " (trailing blank included) and Code2 as decimal text.
MoveRec MovementOf(const CAttLogRec& punch);

// The ODBC driver a record's connection asks for: its Driver, or "SQL Server".
QString DriverName(const CConnServer& record);

// How lines and reports name a device: its Name, or its DeviceId when it has none.
QString DeviceLabel(const CConnServer& record);

// A copy of the first record whose Name equals name exactly (case-sensitive),
// or an all-empty record when none does.
CConnServer FindConnServer(const CConnServerList& devices, const QString& name);
