#include "terminal/ShownText.h"

#include "platform/ControlChars.h"

#include <algorithm>

namespace {

bool Hidden(char16_t c)
{
    return IsControlOrSeparator(QChar(c)) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
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
