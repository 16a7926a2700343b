#pragma once

#include "store/Records.h"

#include <QString>

// Where a device's terminal answers and the key of its link, read once from
// the record's texts (filled from the device table, or from the command line)
// into the values the connection uses. The record keeps the texts as the
// suite stores them.
struct TerminalAddress {
    enum class Key { Empty, Number, NotANumber };

    QString host; // the IP text as stored
    int port = 0; // the number the Port text begins with; 0 when none
    int key = 0;  // the IPKey's value; 0 when it is empty or not a number
    Key keyText = Key::Empty;
    bool complete = false; // both IP and Port were given

    bool PortInRange() const { return port >= 1 && port <= 65535; }
    // "10.0.4.17:4370"
    QString Text() const { return QStringLiteral("%1:%2").arg(host).arg(port); }
};

TerminalAddress TerminalAddressOf(const CConnServer& record);
