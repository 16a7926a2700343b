#include "app/StartChoice.h"

#include "app/CommandLine.h"

bool HasDisplay(const QProcessEnvironment& environment)
{
    if (environment.value(QStringLiteral("QT_QPA_PLATFORM")) == QLatin1String("offscreen"))
        return false;
    return !environment.value(QStringLiteral("DISPLAY")).isEmpty() ||
           !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
}

bool RunsWithoutWindow(const QStringList& arguments, bool hasDisplay)
{
    return !hasDisplay || MapParams(CCommandParse::Parse(arguments).Params).AllDevicesRun;
}
