#include "app/StartChoice.h"

#include "app/CommandLine.h"
#include "platform/Desktop.h"

bool HasDisplay(const QProcessEnvironment& environment)
{
    if (environment.value(QStringLiteral("QT_QPA_PLATFORM")) == QLatin1String("offscreen"))
        return false;
    return SystemDesktopAvailable(environment);
}

bool RunsWithoutWindow(const QStringList& arguments, bool hasDisplay)
{
    return !hasDisplay || MapParams(CCommandParse::Parse(arguments).Params).AllDevicesRun;
}
