#include "platform/AnsiCodePage.h"

#include <windows.h>

#include <string>

namespace {

constexpr UINT kAnsiCodePage = 1256;

} // namespace

QByteArray ConvertToAnsi(const QString& text)
{
    // The system converts unit by unit; a character beyond 16 bits, or half of
    // one, becomes a single U+FFFD first, so it gives one "?" as on POSIX.
    std::wstring units;
    units.reserve(size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        units.push_back(c.isSurrogate() ? wchar_t(0xFFFD) : wchar_t(c.unicode()));
    }
    if (units.empty())
        return {};
    // No "best fit" (an accented letter as its plain one): what has no byte is "?".
    QByteArray out(qsizetype(units.size()), Qt::Uninitialized);
    const int written =
        WideCharToMultiByte(kAnsiCodePage, WC_NO_BEST_FIT_CHARS, units.data(), int(units.size()),
                            out.data(), int(out.size()), "?", nullptr);
    out.truncate(written);
    return out;
}

QString ConvertFromAnsi(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    QString text(bytes.size(), Qt::Uninitialized);
    const int written =
        MultiByteToWideChar(kAnsiCodePage, 0, bytes.constData(), int(bytes.size()),
                            reinterpret_cast<wchar_t*>(text.data()), int(text.size()));
    text.truncate(written);
    return text;
}
