#include "platform/DateTexts.h"

#include "platform/IntText.h"

namespace datetext {

int WritePad2Wide(char* out, int v)
{
    int n = 0;
    if (v < 10)
        out[n++] = '0';
    return n + WriteInt(out + n, v);
}

namespace {
int WriteThree(char* out, int a, char separator, int b, int c)
{
    int n = WritePad2(out, a);
    out[n++] = separator;
    n += WritePad2(out + n, b);
    out[n++] = separator;
    return n + WritePad2(out + n, c);
}
} // namespace

int WriteDayMonthYear(char* out, int day, int month, int year)
{
    return WriteThree(out, day, '-', month, year);
}

int WriteYearMonthDay(char* out, int year, int month, int day)
{
    return WriteThree(out, year, '-', month, day);
}

int WriteTime(char* out, int hour, int minute, int second)
{
    const int n = WriteThree(out, hour, ':', minute, second);
    out[n] = ' ';
    return n + 1;
}

} // namespace datetext

namespace {
template <typename Writer, typename... Args> QString Text(Writer write, Args... args)
{
    char buffer[datetext::kMaxTextBytes];
    return QString::fromLatin1(buffer, write(buffer, args...));
}
} // namespace

QString Pad2(int v)
{
    return Text(datetext::WritePad2, v);
}

QString DayMonthYearText(int day, int month, int year)
{
    return Text(datetext::WriteDayMonthYear, day, month, year);
}

QString YearMonthDayText(int year, int month, int day)
{
    return Text(datetext::WriteYearMonthDay, year, month, day);
}

QString TimeText(int hour, int minute, int second)
{
    return Text(datetext::WriteTime, hour, minute, second);
}

QString SpanText(qint64 seconds)
{
    const qint64 minutes = seconds / 60;
    const qint64 hours = minutes / 60;
    const qint64 days = hours / 24;
    if (days > 0)
        return QStringLiteral("%1 d %2 h %3 min").arg(days).arg(hours % 24).arg(minutes % 60);
    if (hours > 0)
        return QStringLiteral("%1 h %2 min %3 s").arg(hours).arg(minutes % 60).arg(seconds % 60);
    if (minutes > 0)
        return QStringLiteral("%1 min %2 s").arg(minutes).arg(seconds % 60);
    return QStringLiteral("%1 s").arg(seconds);
}
