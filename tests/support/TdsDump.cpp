#include "TdsDump.h"

#include <QFile>
#include <QRegularExpression>

namespace testsupport {

bool TdsRequest::Mentions(const QString& text) const
{
    return payload.contains(
        QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
}

int TdsRequest::RpcProcedure() const
{
    // The call's headers (their length first, 4 bytes), then 0xFFFF and the
    // procedure's number, both 16 bits little-endian.
    const auto word = [this](qsizetype at) {
        return int(static_cast<unsigned char>(payload.at(at))) |
               int(static_cast<unsigned char>(payload.at(at + 1))) << 8;
    };
    if (type != Rpc || payload.size() < 4)
        return -1;
    const qsizetype headers = word(0) | word(2) << 16;
    if (headers < 4 || payload.size() < headers + 4 || word(headers) != 0xFFFF)
        return -1;
    return word(headers + 2);
}

QList<TdsRequest> ReadTdsRequests(const QString& dumpPath)
{
    QFile file(dumpPath);
    QList<TdsRequest> requests;
    if (!file.open(QIODevice::ReadOnly))
        return requests;
    // "0000 03 01 00 b7 00 00 01 00-16 00 00 00 12 00 00 00 |........|"
    static const QRegularExpression hexLine(
        QStringLiteral("^[0-9a-f]{4} ((?:[0-9a-f]{2}[ -]){1,16})"));
    QList<QByteArray> packets;
    bool inPacket = false;
    while (!file.atEnd()) {
        const QString line = QString::fromLatin1(file.readLine());
        if (line.contains(QLatin1String("Sending packet"))) {
            packets.append(QByteArray());
            inPacket = true;
            continue;
        }
        const QRegularExpressionMatch match = hexLine.match(line);
        if (!inPacket || !match.hasMatch()) {
            inPacket = false;
            continue;
        }
        QString bytes = match.captured(1);
        packets.last() +=
            QByteArray::fromHex(bytes.replace(QLatin1Char('-'), QLatin1Char(' ')).toLatin1());
    }
    bool open = false; // a request whose last packet is still to come
    for (const QByteArray& packet : std::as_const(packets)) {
        if (packet.size() < 8)
            continue;
        if (!open)
            requests.append(TdsRequest{static_cast<unsigned char>(packet.at(0)), {}});
        requests.last().payload += packet.mid(8);
        open = (packet.at(1) & 0x01) == 0;
    }
    return requests;
}

} // namespace testsupport
