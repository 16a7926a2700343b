#pragma once

#include "store/Records.h"
#include "terminal/TransferContext.h"

#include <QDate>
#include <QLocale>

// A command-line date text: the locale's short date format (a two-digit year
// read as 1930-2029, and a four-digit year accepted too), or ISO yyyy-MM-dd.
// An invalid date when neither fits.
QDate ParseArgDate(const QString& text, const QLocale& locale = QLocale::system());

// The first and last day of a range as it was given: the days the command-line
// texts name when ArgFromDate is given (invalid where a text cannot be read),
// else the days the two pickers show.
struct RangeDays {
    QDate first;
    QDate last;

    // Both days readable and the first after the last: a download would keep
    // nothing and replace the day's export file with an empty one.
    bool Reversed() const { return first.isValid() && last.isValid() && first > last; }
};
RangeDays DaysOf(const DownloadRange& range, const QLocale& locale = QLocale::system());

// True when the six values make an existing date (years 100 to 9999) and time of day.
bool IsValidPunchTime(int year, int month, int day, int hour, int minute, int second);

// The days whose punches a download keeps. A punch's day (its date at 00:00:00)
// passes when it is not earlier than the lower bound and not later than the
// upper one, two instants less than half a second apart counting as equal.
// Times are compared as the wall-clock values they show, without time zones.
// The bounds come from the command-line texts when ArgFromDate is given (each
// at 00:00:00), else from the two pickers with their time of day. An invalid
// bound lets no day pass.
class DayFilter {
public:
    explicit DayFilter(const DownloadRange& range, const QLocale& locale = QLocale::system());

    // True when the punch has a valid date and time and its day is in the range.
    bool Keeps(const CAttLogRec& punch) const;
    // True when every day from first to last passes.
    bool KeepsDays(const QDate& first, const QDate& last) const
    {
        return firstDay_ <= first.toJulianDay() && last.toJulianDay() <= lastDay_;
    }

private:
    qint64 firstDay_ = 1;
    qint64 lastDay_ = 0;
    // Punches come in runs of the same day: the last date's verdict is kept.
    mutable int lastYear_ = 0, lastMonth_ = 0, lastDate_ = 0;
    mutable bool lastKept_ = false;
};
