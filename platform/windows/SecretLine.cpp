#include "platform/SecretLine.h"

#include <io.h>
#include <windows.h>

namespace {

constexpr qsizetype kLimit = 4096;

// Turns the console's echo off for its lifetime.
class EchoOff {
public:
    explicit EchoOff(HANDLE console) : console_(console)
    {
        if (!GetConsoleMode(console_, &saved_))
            return;
        active_ = SetConsoleMode(console_, saved_ & ~DWORD(ENABLE_ECHO_INPUT)) != 0;
    }
    ~EchoOff()
    {
        if (active_)
            SetConsoleMode(console_, saved_);
    }

private:
    HANDLE console_;
    DWORD saved_ = 0;
    bool active_ = false;
};

} // namespace

SecretLine ReadSecretLine(FILE* in)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(in)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
        return ReadSecretBytes(in);
    // A console hands out UTF-16, whatever its code page: Arabic passwords too.
    const EchoOff echo(handle);
    QString text;
    for (;;) {
        wchar_t unit = 0;
        DWORD read = 0;
        if (!ReadConsoleW(handle, &unit, 1, &read, nullptr) || read == 0 || unit == L'\n')
            break;
        if (text.size() < kLimit)
            text.append(QChar(char16_t(unit)));
    }
    if (text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return {text, false};
}
