#include "app/CommandLine.h"

#include "terminal/DateRange.h"

void CCommandParse::ParseParam(const QString& text, bool isFlag, bool)
{
    if (isFlag)
        Flags.append(text);
    else
        Params.append(text);
}

CCommandParse CCommandParse::Parse(const QStringList& arguments)
{
    CCommandParse parse;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        const bool isFlag = arg.startsWith(QLatin1Char('-'));
        parse.ParseParam(isFlag ? arg.mid(1) : arg, isFlag, i + 1 == arguments.size());
    }
    return parse;
}

RunParameters MapParams(const QStringList& params)
{
    RunParameters run;
    const qsizetype n = params.size();
    if (n == 1) {
        run.AllDevicesRun = true;
        run.ArgCloseFlag = QStringLiteral("0");
        return run;
    }
    // Positions are 1-based; positions without a parameter, and beyond 17, are skipped.
    QString* const targets[18] = {
        nullptr, nullptr, nullptr,          &run.ArgFilePath, &run.ArgIP,        &run.ArgPort,
        nullptr, nullptr, nullptr,          nullptr,          nullptr,           nullptr,
        nullptr, nullptr, &run.ArgFromDate, &run.ArgToDate,   &run.ArgCloseFlag, &run.SelectedName};
    for (qsizetype pos = 1; pos <= n && pos <= 17; ++pos)
        if (targets[pos])
            *targets[pos] = params.at(pos - 1);
    return run;
}

QString CommandLineRangeProblem(const RunParameters& run, const QLocale& locale)
{
    if (run.ArgFromDate.isEmpty())
        return {};
    const RangeDays days = DaysOf(DownloadRange{run.ArgFromDate, run.ArgToDate, {}, {}}, locale);
    const auto day = [](const QDate& date) { return date.toString(Qt::ISODate); };
    if (!days.first.isValid())
        return QStringLiteral("position 14 (the first day) '%1' is not a date (%2 or yyyy-MM-dd)")
            .arg(run.ArgFromDate, locale.dateFormat(QLocale::ShortFormat));
    if (run.ArgToDate.isEmpty())
        return QStringLiteral("position 15 (the last day) is missing after position 14 (%1)")
            .arg(day(days.first));
    if (!days.last.isValid())
        return QStringLiteral("position 15 (the last day) '%1' is not a date (%2 or yyyy-MM-dd)")
            .arg(run.ArgToDate, locale.dateFormat(QLocale::ShortFormat));
    if (days.Reversed())
        return QStringLiteral("the first day (position 14, %1) lies after the last day "
                              "(position 15, %2)")
            .arg(day(days.first), day(days.last));
    return {};
}
