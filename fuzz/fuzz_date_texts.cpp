// Command-line date texts and the day filter built from them: any text in
// several locales, and punches with any values.
#include "terminal/DateRange.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

int TakeInt(const uint8_t*& data, size_t& size)
{
    int value = 0;
    if (size >= sizeof value) {
        std::memcpy(&value, data, sizeof value);
        data += sizeof value;
        size -= sizeof value;
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QLocale locales[] = {
        QLocale::c(), QLocale(QStringLiteral("en_US")), QLocale(QStringLiteral("de_DE")),
        QLocale(QStringLiteral("ar_EG")), QLocale(QStringLiteral("fa_IR"))};
    if (size < 1)
        return 0;
    const QLocale& locale = locales[data[0] % std::size(locales)];
    ++data;
    --size;
    // Eight integers for a punch and a picker, then two date texts split at the first NUL.
    CAttLogRec punch;
    int* fields[] = {&punch.Year, &punch.Month,  &punch.Day,
                     &punch.Hour, &punch.Minute, &punch.Second};
    for (int* field : fields)
        *field = TakeInt(data, size);
    const qint64 pickerDays = TakeInt(data, size);
    const int pickerSeconds = TakeInt(data, size);
    const QByteArray rest(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = rest.indexOf('\0');
    DownloadRange range;
    range.ArgFromDate = QString::fromUtf8(nul < 0 ? rest : rest.left(nul));
    range.ArgToDate = nul < 0 ? QString() : QString::fromUtf8(rest.mid(nul + 1));
    range.FromPicker =
        QDateTime(QDate::fromJulianDay(pickerDays), QTime(0, 0).addSecs(pickerSeconds % 86400));
    range.ToPicker = range.FromPicker.addDays(31);

    ParseArgDate(range.ArgFromDate, locale);
    ParseArgDate(range.ArgToDate, locale);
    IsValidPunchTime(punch.Year, punch.Month, punch.Day, punch.Hour, punch.Minute, punch.Second);
    DayFilter filter(range, locale);
    filter.Keeps(punch);
    // Twice: the filter remembers the verdict of the last day.
    filter.Keeps(punch);
    return 0;
}
