#include "terminal/ShownText.h"

#include <algorithm>

namespace {

bool Hidden(char16_t c)
{
    switch (QChar::category(char32_t(c))) {
    case QChar::Other_Control:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        break;
    }
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString ShownText(QStringView text, qsizetype maxChars)
{
    const bool cut = text.size() > maxChars;
    QString shown = (cut ? text.left(maxChars) : text).toString();
    for (QChar& c : shown)
        if (Hidden(c.unicode()))
            c = QLatin1Char('?');
    if (cut)
        shown += QStringLiteral("...");
    return shown;
}

QString ShownText(std::string_view utf8, qsizetype maxChars)
{
    // Decoding more than is shown would only cost time.
    const std::size_t bytes = std::min(utf8.size(), std::size_t(4 * (maxChars + 1)));
    return ShownText(QString::fromUtf8(utf8.data(), qsizetype(bytes)), maxChars);
}
