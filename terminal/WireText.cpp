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
    while (count + 1 < maxFields) {
        const std::size_t blank = line.find(' ', start);
        if (blank == std::string_view::npos)
            break;
        fields[count++] = line.substr(start, blank - start);
        start = blank + 1;
    }
    fields[count++] = line.substr(start);
    return count;
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

bool IsUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    const std::size_t size = bytes.size();
    while (i < size) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // The length of the sequence and the range its second byte must lie
        // in, which rules out overlong forms, surrogates and code points
        // above U+10FFFF.
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (size - i < std::size_t(length))
            return false;
        for (int k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(bytes[i + std::size_t(k)]);
            if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF))
                return false;
        }
        i += std::size_t(length);
    }
    return true;
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
