#include "app/CommandLine.h"

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
