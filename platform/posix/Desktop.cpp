#include "platform/Desktop.h"

bool SystemDesktopAvailable(const QProcessEnvironment& environment)
{
    return !environment.value(QStringLiteral("DISPLAY")).isEmpty() ||
           !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
}
