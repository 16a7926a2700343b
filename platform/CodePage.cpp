#include "platform/CodePage.h"

#include "platform/AnsiCodePage.h"

#include <algorithm>

namespace {

bool isAscii(const char* begin, const char* end)
{
    return std::all_of(begin, end, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isAscii(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

QByteArray ToAnsi(const QString& text)
{
    return isAscii(text) ? text.toLatin1() : ConvertToAnsi(text);
}

QString FromAnsi(const QByteArray& bytes)
{
    return isAscii(bytes.cbegin(), bytes.cend()) ? QString::fromLatin1(bytes)
                                                 : ConvertFromAnsi(bytes);
}

QByteArray ToUtf16Le(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

QString FromUtf16Le(const QByteArray& bytes)
{
    const qsizetype units = bytes.size() / 2;
    QString text;
    text.reserve(units);
    for (qsizetype i = 0; i < units; ++i) {
        const auto unit = char16_t(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}
