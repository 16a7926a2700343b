#include "platform/ProcessImage.h"

#include <QDir>

#include <windows.h>

#include <string>

QString ProcessImagePath()
{
    // Long paths too: the buffer grows until the name fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return QDir::fromNativeSeparators(QString::fromWCharArray(buffer.data(), length));
        buffer.resize(buffer.size() * 2);
    }
}
