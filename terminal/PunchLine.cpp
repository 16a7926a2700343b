#include "terminal/PunchLine.h"

#include "terminal/WireText.h"

#include <algorithm>

namespace ztp {

bool ParsePunchLine(std::string_view line, WirePunch& punch)
{
    // One pass from left to right: "P", the card field, nine integers, each
    // after one blank.
    if (line.size() < 2 || line[0] != 'P' || line[1] != ' ')
        return false;
    const std::size_t cardEnd = line.find(' ', 2);
    if (cardEnd == std::string_view::npos)
        return false;
    const int size = UnescapeCard(line.substr(2, cardEnd - 2), punch.cardBytes.data());
    if (size < 0 || !IsUtf8(std::string_view(punch.cardBytes.data(), std::size_t(size))))
        return false;
    punch.cardSize = size;
    std::size_t at = cardEnd;
    for (int& value : punch.values) {
        if (at == line.size() || line[at] != ' ')
            return false;
        ++at;
        if (!ScanIntField(line, at, value))
            return false;
    }
    return at == line.size();
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
