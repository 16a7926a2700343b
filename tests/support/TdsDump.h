#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace testsupport {

// A request that FreeTDS sent to the server, read back from its debug log
// (the file named by TDSDUMP): the type of its first packet and the bytes of
// all its packets after their headers.
struct TdsRequest {
    enum Type { SqlBatch = 0x01, Rpc = 0x03, Attention = 0x06, Transaction = 0x0E };
    int type = 0;
    QByteArray payload;

    // Whether the request carries text, as the UTF-16 that TDS sends.
    bool Mentions(const QString& text) const;
    // The number of the server's procedure that a call names by number (13:
    // sp_prepexec, 12: sp_execute, 15: sp_unprepare, 10: sp_executesql); -1
    // for a call by name or another request.
    int RpcProcedure() const;
};

// Every request of the log in order. Only packets from the client are
// logged as "Sending packet", each followed by lines of hexadecimal bytes; a
// request ends with the packet whose status has the end-of-message bit.
QList<TdsRequest> ReadTdsRequests(const QString& dumpPath);

} // namespace testsupport
