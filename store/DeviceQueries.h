#pragma once

#include "platform/MessageSink.h"
#include "store/Database.h"
#include "store/Records.h"
#include "store/TerminalAddress.h"

#include <QList>
#include <QString>

#include <optional>

// Read-only look-ups in the host suite's device table tsrHrDeviceShift.

// Fills record's IP, Port and IPKey from the device row whose ID is the
// record's DeviceId (the last row wins when there are several; the fields keep
// their values when there is none), and returns them as the terminal's
// address; rows (when given) gets the number of rows with that ID, -1 when
// there was no look-up (no database named). Opens db with the record's ConnStr and leaves it open
// for the posting that follows. Throws DatabaseError when the connection cannot be made or the
// server rejects the look-up.
TerminalAddress LoadDeviceAddress(CConnServer& record, Database& db, MessageSink& messages,
                                  int* rows = nullptr);

// One terminal of the suite, as the settings dialog lists it.
struct DeviceRow {
    QString ID;
    QString Name;

    bool operator==(const DeviceRow&) const = default;
};

// Closes db, reopens it with connStr, and lists the suite's terminals
// (DevType 1) in the server's order. nullopt when the query cannot be run
// (message shown).
// Throws DatabaseError when the connection cannot be made or the server
// rejects the query. db stays open.
std::optional<QList<DeviceRow>> ListDevices(Database& db, const QString& connStr,
                                            MessageSink& messages);
