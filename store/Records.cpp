#include "store/Records.h"

#include "platform/DateTexts.h"

#include <array>

namespace {

// The decimal text of a code; the usual small codes share one text each.
QString CodeText(int code)
{
    static const std::array<QString, 16> small = [] {
        std::array<QString, 16> texts;
        for (int i = 0; i < 16; ++i)
            texts[std::size_t(i)] = QString::number(i);
        return texts;
    }();
    return code >= 0 && code < 16 ? small[std::size_t(code)] : QString::number(code);
}

} // namespace

MoveRec MovementOf(const CAttLogRec& punch)
{
    char buffer[2 * datetext::kMaxTextBytes + 1];
    int n = datetext::WriteYearMonthDay(buffer, punch.Year, punch.Month, punch.Day);
    buffer[n++] = ' ';
    n += datetext::WriteTime(buffer + n, punch.Hour, punch.Minute, punch.Second);
    return MoveRec{punch.CardNb, QString::fromLatin1(buffer, n), CodeText(punch.Code2)};
}

QString DriverName(const CConnServer& record)
{
    const QString name = record.Driver.trimmed();
    return name.isEmpty() ? QStringLiteral("SQL Server") : name;
}

QString DeviceLabel(const CConnServer& record)
{
    return record.Name.isEmpty() ? record.DeviceId : record.Name;
}

CConnServer FindConnServer(const CConnServerList& devices, const QString& name)
{
    for (const CConnServer& device : devices)
        if (device.Name == name)
            return device;
    return CConnServer();
}
