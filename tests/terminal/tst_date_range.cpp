// Which punches a download keeps: date texts of the command line, picker
// bounds with their time of day, the half-second rule, impossible dates.
#include "terminal/DateRange.h"

#include <QTest>

class DateRangeTest : public QObject {
    Q_OBJECT
private slots:
    void parseArgDate_data();
    void parseArgDate();
    void pickerBounds_data();
    void pickerBounds();
    void argumentBounds_data();
    void argumentBounds();
    void impossiblePunches_data();
    void impossiblePunches();
};

void DateRangeTest::parseArgDate_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("en_US short") << QStringLiteral("en_US") << QStringLiteral("3/5/24")
                                 << QDate(2024, 3, 5);
    QTest::newRow("en_US four-digit year")
        << QStringLiteral("en_US") << QStringLiteral("3/5/2024") << QDate(2024, 3, 5);
    QTest::newRow("en_US year 29 stays in this century")
        << QStringLiteral("en_US") << QStringLiteral("1/2/29") << QDate(2029, 1, 2);
    QTest::newRow("en_US year 30 is last century")
        << QStringLiteral("en_US") << QStringLiteral("1/2/30") << QDate(1930, 1, 2);
    QTest::newRow("de_DE short") << QStringLiteral("de_DE") << QStringLiteral("05.03.24")
                                 << QDate(2024, 3, 5);
    QTest::newRow("en_GB day first")
        << QStringLiteral("en_GB") << QStringLiteral("05/03/2024") << QDate(2024, 3, 5);
    QTest::newRow("ar_EG Arabic digits")
        << QStringLiteral("ar_EG")
        << QLocale(QStringLiteral("ar_EG")).toString(QDate(2024, 3, 5), QLocale::ShortFormat)
        << QDate(2024, 3, 5);
    QTest::newRow("ISO in any locale")
        << QStringLiteral("de_DE") << QStringLiteral("2024-03-05") << QDate(2024, 3, 5);
    QTest::newRow("blanks around")
        << QStringLiteral("en_GB") << QStringLiteral(" 2024-03-05 ") << QDate(2024, 3, 5);
    QTest::newRow("month 13") << QStringLiteral("en_GB") << QStringLiteral("05/13/2024") << QDate();
    QTest::newRow("31 June") << QStringLiteral("en_GB") << QStringLiteral("31/06/2024") << QDate();
    QTest::newRow("ISO 31 June") << QStringLiteral("en_GB") << QStringLiteral("2024-06-31")
                                 << QDate();
    QTest::newRow("empty") << QStringLiteral("en_GB") << QStringLiteral("") << QDate();
    QTest::newRow("words") << QStringLiteral("en_GB") << QStringLiteral("yesterday") << QDate();
}

void DateRangeTest::parseArgDate()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QCOMPARE(ParseArgDate(text, QLocale(locale)), date);
}

namespace {
QDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}
bool KeepsDay(const DayFilter& filter, QDate day)
{
    CAttLogRec punch;
    punch.Year = day.year();
    punch.Month = day.month();
    punch.Day = day.day();
    punch.Hour = 12;
    return filter.Keeps(punch);
}
} // namespace

void DateRangeTest::pickerBounds_data()
{
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<bool>("kept");
    const QDateTime first = At(2024, 3, 1);
    const QDateTime last = At(2024, 3, 31, 17, 45, 12);
    QTest::newRow("first day") << first << last << QDate(2024, 3, 1) << true;
    QTest::newRow("last day, any time") << first << last << QDate(2024, 3, 31) << true;
    QTest::newRow("next month") << first << last << QDate(2024, 4, 1) << false;
    QTest::newRow("day before") << first << last << QDate(2024, 2, 29) << false;
    QTest::newRow("lower bound 10:30 excludes its day")
        << At(2024, 3, 5, 10, 30) << last << QDate(2024, 3, 5) << false;
    QTest::newRow("lower bound 10:30 keeps the next day")
        << At(2024, 3, 5, 10, 30) << last << QDate(2024, 3, 6) << true;
    QTest::newRow("lower 0.4 s after midnight counts as equal")
        << At(2024, 3, 5, 0, 0, 0, 400) << last << QDate(2024, 3, 5) << true;
    QTest::newRow("lower 0.5 s after midnight is later")
        << At(2024, 3, 5, 0, 0, 0, 500) << last << QDate(2024, 3, 5) << false;
    QTest::newRow("upper 0.4 s before next midnight keeps that day")
        << first << At(2024, 3, 5, 23, 59, 59, 600) << QDate(2024, 3, 6) << true;
    QTest::newRow("upper 0.5 s before next midnight does not")
        << first << At(2024, 3, 5, 23, 59, 59, 500) << QDate(2024, 3, 6) << false;
    QTest::newRow("upper at midnight keeps its day")
        << first << At(2024, 3, 5) << QDate(2024, 3, 5) << true;
    QTest::newRow("bounds reversed")
        << At(2024, 3, 6) << At(2024, 3, 5) << QDate(2024, 3, 5) << false;
    QTest::newRow("invalid lower") << QDateTime() << last << QDate(2024, 3, 5) << false;
    QTest::newRow("invalid upper") << first << QDateTime() << QDate(2024, 3, 5) << false;
}

void DateRangeTest::pickerBounds()
{
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    QFETCH(QDate, day);
    QFETCH(bool, kept);
    DownloadRange range;
    range.FromPicker = from;
    range.ToPicker = to;
    QCOMPARE(KeepsDay(DayFilter(range), day), kept);
}

void DateRangeTest::argumentBounds_data()
{
    QTest::addColumn<QString>("fromText");
    QTest::addColumn<QString>("toText");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<bool>("kept");
    QTest::newRow("same day keeps it") << QStringLiteral("2024-03-05")
                                       << QStringLiteral("2024-03-05") << QDate(2024, 3, 5) << true;
    QTest::newRow("same day, not the next")
        << QStringLiteral("2024-03-05") << QStringLiteral("2024-03-05") << QDate(2024, 3, 6)
        << false;
    QTest::newRow("same day, not the one before")
        << QStringLiteral("2024-03-05") << QStringLiteral("2024-03-05") << QDate(2024, 3, 4)
        << false;
    QTest::newRow("locale text") << QStringLiteral("3/1/24") << QStringLiteral("3/31/24")
                                 << QDate(2024, 3, 31) << true;
    QTest::newRow("empty to-date keeps nothing")
        << QStringLiteral("2024-03-01") << QStringLiteral("") << QDate(2024, 3, 5) << false;
    QTest::newRow("unreadable from-date keeps nothing")
        << QStringLiteral("soon") << QStringLiteral("2024-03-31") << QDate(2024, 3, 5) << false;
    QTest::newRow("month 13 as bound keeps nothing")
        << QStringLiteral("2024-13-01") << QStringLiteral("2024-12-31") << QDate(2024, 3, 5)
        << false;
    QTest::newRow("to-date alone is ignored: pickers decide")
        << QStringLiteral("") << QStringLiteral("2000-01-01") << QDate(2024, 3, 5) << true;
}

void DateRangeTest::argumentBounds()
{
    QFETCH(QString, fromText);
    QFETCH(QString, toText);
    QFETCH(QDate, day);
    QFETCH(bool, kept);
    DownloadRange range;
    range.ArgFromDate = fromText;
    range.ArgToDate = toText;
    range.FromPicker = At(2024, 3, 1);
    range.ToPicker = At(2024, 3, 31, 23, 59, 59);
    QCOMPARE(KeepsDay(DayFilter(range, QLocale(QStringLiteral("en_US"))), day), kept);
}

void DateRangeTest::impossiblePunches_data()
{
    QTest::addColumn<QList<int>>("punch"); // year month day hour minute second
    QTest::addColumn<bool>("kept");
    QTest::newRow("ordinary") << QList<int>{2024, 3, 5, 8, 7, 9} << true;
    QTest::newRow("leap day") << QList<int>{2024, 2, 29, 0, 0, 0} << true;
    QTest::newRow("end of day") << QList<int>{2024, 3, 31, 23, 59, 59} << true;
    QTest::newRow("month 13") << QList<int>{2024, 13, 5, 8, 0, 0} << false;
    QTest::newRow("month 0") << QList<int>{2024, 0, 5, 8, 0, 0} << false;
    QTest::newRow("31 June") << QList<int>{2024, 6, 31, 8, 0, 0} << false;
    QTest::newRow("29 February 2023") << QList<int>{2023, 2, 29, 8, 0, 0} << false;
    QTest::newRow("hour 24") << QList<int>{2024, 3, 5, 24, 0, 0} << false;
    QTest::newRow("minute 60") << QList<int>{2024, 3, 5, 8, 60, 0} << false;
    QTest::newRow("second 60") << QList<int>{2024, 3, 5, 8, 0, 60} << false;
    QTest::newRow("negative second") << QList<int>{2024, 3, 5, 8, 0, -1} << false;
    QTest::newRow("year 99") << QList<int>{99, 3, 5, 8, 0, 0} << false;
    QTest::newRow("year 10000") << QList<int>{10000, 3, 5, 8, 0, 0} << false;
}

void DateRangeTest::impossiblePunches()
{
    QFETCH(QList<int>, punch);
    QFETCH(bool, kept);
    DownloadRange range;
    range.FromPicker = At(1, 1, 1);
    range.ToPicker = At(9999, 12, 31);
    const DayFilter filter(range);
    // Twice, so that the remembered verdict of the day is checked too.
    CAttLogRec rec;
    rec.Year = punch[0];
    rec.Month = punch[1];
    rec.Day = punch[2];
    rec.Hour = punch[3];
    rec.Minute = punch[4];
    rec.Second = punch[5];
    for (int round = 0; round < 2; ++round)
        QCOMPARE(filter.Keeps(rec), kept);
    QCOMPARE(IsValidPunchTime(punch[0], punch[1], punch[2], punch[3], punch[4], punch[5]), kept);
}

QTEST_APPLESS_MAIN(DateRangeTest)
#include "tst_date_range.moc"
