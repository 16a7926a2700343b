#include "terminal/WireText.h"

namespace ztp {
namespace {

constexpr char kHexUpper[] = "0123456789ABCDEF";
constexpr char kHexLower[] = "0123456789abcdef";

bool NeedsEscape(unsigned char byte)
{
    return byte < 0x21 || byte == '%' || byte == 0x7F;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

int SplitFields(std::string_view line, std::string_view* fields, int maxFields)
{
    int count = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t blank = line.find(' ', start);
        if (count == maxFields)
            return -1;
        if (blank == std::string_view::npos) {
            fields[count++] = line.substr(start);
            return count;
        }
        fields[count++] = line.substr(start, blank - start);
        start = blank + 1;
    }
}

int EscapeCard(std::string_view utf8, char* out, int capacity)
{
    int n = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (NeedsEscape(byte)) {
            if (n + 3 > capacity)
                return -1;
            out[n++] = '%';
            out[n++] = kHexUpper[byte >> 4];
            out[n++] = kHexUpper[byte & 0x0F];
        } else {
            if (n + 1 > capacity)
                return -1;
            out[n++] = c;
        }
    }
    return n;
}

int UnescapeCard(std::string_view field, char* out)
{
    int n = 0;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto byte = static_cast<unsigned char>(field[i]);
        if (byte == '%') {
            if (i + 2 >= field.size())
                return -1;
            const int high = HexValue(field[i + 1]);
            const int low = HexValue(field[i + 2]);
            if (high < 0 || low < 0)
                return -1;
            out[n++] = char(high * 16 + low);
            i += 2;
        } else if (NeedsEscape(byte)) {
            return -1;
        } else {
            out[n++] = char(byte);
        }
    }
    return n;
}

void ToHex(const unsigned char* bytes, std::size_t size, char* out)
{
    for (std::size_t i = 0; i < size; ++i) {
        out[2 * i] = kHexLower[bytes[i] >> 4];
        out[2 * i + 1] = kHexLower[bytes[i] & 0x0F];
    }
}

bool FromHex(std::string_view hex, unsigned char* out, std::size_t size)
{
    if (hex.size() != 2 * size)
        return false;
    for (std::size_t i = 0; i < size; ++i) {
        const int high = HexValue(hex[2 * i]);
        const int low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        out[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

} // namespace ztp
