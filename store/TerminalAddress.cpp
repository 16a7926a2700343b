#include "store/TerminalAddress.h"

#include "platform/IntText.h"

TerminalAddress TerminalAddressOf(const CConnServer& record)
{
    TerminalAddress address;
    address.host = record.IP;
    address.complete = !record.IP.isEmpty() && !record.Port.isEmpty();
    address.port = LeadingInt(record.Port);
    const QStringView key = QStringView(record.IPKey).trimmed();
    if (key.isEmpty())
        address.keyText = TerminalAddress::Key::Empty;
    else if (ParseWholeInt(key, address.key, true))
        address.keyText = TerminalAddress::Key::Number;
    else
        address.keyText = TerminalAddress::Key::NotANumber;
    return address;
}
