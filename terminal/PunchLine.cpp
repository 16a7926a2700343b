#include "terminal/PunchLine.h"

#include "terminal/WireText.h"

#include <algorithm>

namespace ztp {

bool ParsePunchLine(std::string_view line, WirePunch& punch)
{
    // One pass from left to right: "P", the card field, nine integers.
    if (line.size() < 2 || line[0] != 'P' || line[1] != ' ')
        return false;
    std::size_t at = 2;
    std::size_t blank = line.find(' ', at);
    if (blank == std::string_view::npos)
        return false;
    const int size = UnescapeCard(line.substr(at, blank - at), punch.cardBytes.data());
    if (size < 0)
        return false;
    punch.cardSize = size;
    for (int i = 0; i < kPunchValues; ++i) {
        if (blank == std::string_view::npos)
            return false;
        at = blank + 1;
        blank = at;
        while (blank < line.size() && line[blank] != ' ')
            ++blank;
        const std::string_view field = line.substr(at, blank - at);
        if (!ParseInt(field, punch.values[std::size_t(i)]))
            return false;
        if (blank == line.size())
            blank = std::string_view::npos;
    }
    return blank == std::string_view::npos;
}

int FormatPunchLine(std::string_view cardUtf8, const std::array<int, kPunchValues>& values,
                    char* out, int capacity)
{
    // Longest tail: nine blanks, nine integers of up to 11 characters, the line feed.
    constexpr int kTailMax = kPunchValues * 12 + 1;
    const int limit = std::min(capacity, kMaxLineBytes);
    if (limit < 2 + kTailMax)
        return -1;
    int n = 0;
    out[n++] = 'P';
    out[n++] = ' ';
    const int cardSize = EscapeCard(cardUtf8, out + n, limit - n - kTailMax);
    if (cardSize < 0)
        return -1;
    n += cardSize;
    for (const int value : values) {
        out[n++] = ' ';
        n += WriteInt(out + n, value);
    }
    out[n++] = '\n';
    return n;
}

} // namespace ztp
