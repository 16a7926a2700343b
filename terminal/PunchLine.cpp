#include "terminal/PunchLine.h"

#include "terminal/WireText.h"

#include <algorithm>

namespace ztp {

bool ParsePunchLine(std::string_view line, WirePunch& punch)
{
    constexpr int kFields = 2 + kPunchValues;
    std::string_view fields[kFields];
    if (SplitFields(line, fields, kFields) != kFields || fields[0] != "P")
        return false;
    const int size = UnescapeCard(fields[1], punch.cardBytes.data());
    if (size < 0)
        return false;
    punch.cardSize = size;
    for (int i = 0; i < kPunchValues; ++i)
        if (!ParseInt(fields[2 + i], punch.values[std::size_t(i)]))
            return false;
    return true;
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
