#include "terminal/DateRange.h"

#include <QTime>

namespace {

constexpr qint64 kDayMs = 24 * 60 * 60 * 1000;
constexpr qint64 kHalfSecondMs = 500;

qint64 FloorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Milliseconds on a plain time line where day d starts at d * kDayMs.
qint64 WallClockMs(const QDateTime& at)
{
    return at.date().toJulianDay() * kDayMs + at.time().msecsSinceStartOfDay();
}

QDate TwoDigitYearWindow(QDate date, const QString& format)
{
    // Read as 1900 + yy; the usual window keeps 00-29 in this century.
    const bool shortYear =
        format.contains(QLatin1String("yy")) && !format.contains(QLatin1String("yyyy"));
    if (shortYear && date.isValid() && date.year() < 1930)
        return date.addYears(100);
    return date;
}

} // namespace

QDate ParseArgDate(const QString& input, const QLocale& locale)
{
    const QString text = input.trimmed();
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QDate date = TwoDigitYearWindow(locale.toDate(text, format), format);
    if (!date.isValid() && format.contains(QLatin1String("yy")) &&
        !format.contains(QLatin1String("yyyy"))) {
        QString longYear = format;
        longYear.replace(QLatin1String("yy"), QLatin1String("yyyy"));
        date = locale.toDate(text, longYear);
    }
    if (!date.isValid())
        date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    return date;
}

RangeDays DaysOf(const DownloadRange& range, const QLocale& locale)
{
    if (range.ArgFromDate.isEmpty())
        return RangeDays{range.FromPicker.date(), range.ToPicker.date()};
    return RangeDays{ParseArgDate(range.ArgFromDate, locale),
                     ParseArgDate(range.ArgToDate, locale)};
}

bool IsValidPunchTime(int year, int month, int day, int hour, int minute, int second)
{
    return year >= 100 && year <= 9999 && QDate::isValid(year, month, day) &&
           QTime::isValid(hour, minute, second);
}

DayFilter::DayFilter(const DownloadRange& range, const QLocale& locale)
{
    QDateTime lower;
    QDateTime upper;
    if (!range.ArgFromDate.isEmpty()) {
        const QDate from = ParseArgDate(range.ArgFromDate, locale);
        const QDate to = ParseArgDate(range.ArgToDate, locale);
        if (from.isValid())
            lower = QDateTime(from, QTime(0, 0));
        if (to.isValid())
            upper = QDateTime(to, QTime(0, 0));
    } else {
        lower = range.FromPicker;
        upper = range.ToPicker;
    }
    if (!lower.isValid() || !upper.isValid())
        return; // stays empty
    // First day whose start is not earlier than the lower bound (within half a
    // second), last day whose start is not later than the upper bound.
    firstDay_ = FloorDiv(WallClockMs(lower) - kHalfSecondMs, kDayMs) + 1;
    lastDay_ = FloorDiv(WallClockMs(upper) + kHalfSecondMs - 1, kDayMs);
}

bool DayFilter::Keeps(const CAttLogRec& punch) const
{
    // QTime::isValid's rule, inline: this runs for every punch.
    if (unsigned(punch.Hour) > 23 || unsigned(punch.Minute) > 59 || unsigned(punch.Second) > 59)
        return false;
    if (punch.Year != lastYear_ || punch.Month != lastMonth_ || punch.Day != lastDate_) {
        lastYear_ = punch.Year;
        lastMonth_ = punch.Month;
        lastDate_ = punch.Day;
        const qint64 julian = QDate(punch.Year, punch.Month, punch.Day).toJulianDay();
        lastKept_ = IsValidPunchTime(punch.Year, punch.Month, punch.Day, 0, 0, 0) &&
                    julian >= firstDay_ && julian <= lastDay_;
    }
    return lastKept_;
}
