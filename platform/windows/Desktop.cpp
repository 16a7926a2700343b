#include "platform/Desktop.h"

#include <windows.h>

bool SystemDesktopAvailable(const QProcessEnvironment& /*environment*/)
{
    USEROBJECTFLAGS flags{};
    const HWINSTA station = GetProcessWindowStation();
    if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
        return false;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}
