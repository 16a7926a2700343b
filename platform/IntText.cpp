#include "platform/IntText.h"

#include <climits>

namespace {

char16_t At(std::string_view text, std::size_t i)
{
    return char16_t(static_cast<unsigned char>(text[i]));
}

char16_t At(QStringView text, std::size_t i)
{
    return text[qsizetype(i)].unicode();
}

template <typename Text> IntScan Scan(Text text, std::size_t at, bool plusAllowed)
{
    IntScan scan;
    const std::size_t size = std::size_t(text.size());
    std::size_t i = at;
    bool negative = false;
    if (i < size && (At(text, i) == u'-' || (plusAllowed && At(text, i) == u'+')))
        negative = At(text, i++) == u'-';
    constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
    long long magnitude = 0;
    for (; i < size && At(text, i) >= u'0' && At(text, i) <= u'9'; ++i) {
        scan.digits = true;
        magnitude = magnitude * 10 + (At(text, i) - u'0');
        if (magnitude > kLimit)
            magnitude = kLimit + 1; // remembered as too large, never grows further
    }
    scan.end = scan.digits ? i : at;
    const long long value = negative ? -magnitude : magnitude;
    scan.overflow = value > INT_MAX || value < INT_MIN;
    scan.value = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : value;
    return scan;
}

template <typename Text> bool Whole(Text text, int& value, bool plusAllowed)
{
    const IntScan scan = Scan(text, 0, plusAllowed);
    if (!scan.digits || scan.overflow || scan.end != std::size_t(text.size()))
        return false;
    value = int(scan.value);
    return true;
}

} // namespace

IntScan ScanInt(std::string_view text, std::size_t at, bool plusAllowed)
{
    return Scan(text, at, plusAllowed);
}

IntScan ScanInt(QStringView text, std::size_t at, bool plusAllowed)
{
    return Scan(text, at, plusAllowed);
}

bool ParseWholeInt(std::string_view text, int& value, bool plusAllowed)
{
    return Whole(text, value, plusAllowed);
}

bool ParseWholeInt(QStringView text, int& value, bool plusAllowed)
{
    return Whole(text, value, plusAllowed);
}

int LeadingInt(QStringView text)
{
    std::size_t i = 0;
    while (i < std::size_t(text.size()) &&
           (text[qsizetype(i)] == u' ' || text[qsizetype(i)] == u'\t'))
        ++i;
    return int(ScanInt(text, i, true).value);
}

int WriteIntWide(char* out, int value)
{
    if (value >= 0 && value < 100) { // most values of a punch
        if (value < 10) {
            out[0] = char('0' + value);
            return 1;
        }
        out[0] = char('0' + value / 10);
        out[1] = char('0' + value % 10);
        return 2;
    }
    char digits[12];
    int n = 0;
    // Work on the unsigned magnitude so INT_MIN is written correctly.
    unsigned int magnitude = value < 0 ? 0u - unsigned(value) : unsigned(value);
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    int written = 0;
    if (value < 0)
        out[written++] = '-';
    while (n > 0)
        out[written++] = digits[--n];
    return written;
}
