#pragma once

#include "platform/IntText.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

// Small parsing and formatting helpers for protocol lines. They work on byte
// views and caller buffers so the punch stream is handled without allocation.
namespace ztp {

// Integers are signed 32-bit decimals: an optional "-", then 1 to 10 digits
// (no "+", no blanks), in range.
constexpr int kMaxIntDigits = 10;

// Reads an integer that starts at position at; at moves past its last digit.
// False when there is none there, or it has more than 10 digits or is out of
// range. The punch stream reads ten a punch: this is its inner loop.
inline bool ScanIntField(std::string_view line, std::size_t& at, int& value)
{
    const auto digitAt = [](const char* c) {
        return unsigned(static_cast<unsigned char>(*c)) - '0';
    };
    const char* p = line.data() + at;
    const char* const end = line.data() + line.size();
    const bool negative = p != end && *p == '-';
    p += negative ? 1 : 0;
    if (p == end || digitAt(p) > 9)
        return false; // no digit
    long long magnitude = digitAt(p++);
    const char* const last = p + std::min<std::ptrdiff_t>(end - p, kMaxIntDigits - 1);
    while (p != last && digitAt(p) <= 9)
        magnitude = magnitude * 10 + digitAt(p++);
    if (p != end && digitAt(p) <= 9)
        return false; // an 11th digit
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > 2147483647LL || signedValue < -2147483648LL)
        return false;
    value = int(signedValue);
    at = std::size_t(p - line.data());
    return true;
}

// Parses a whole field as an integer. False on anything else; value is then unchanged.
inline bool ParseInt(std::string_view field, int& value)
{
    std::size_t at = 0;
    int parsed = 0;
    if (!ScanIntField(field, at, parsed) || at != field.size())
        return false;
    value = parsed;
    return true;
}

using ::WriteInt;

// Splits a line at single blanks into at most maxFields fields; the last one
// holds the rest of the line, blanks included. Returns the number of fields.
// A caller that wants exactly n fields asks for n + 1 and checks for n.
int SplitFields(std::string_view line, std::string_view* fields, int maxFields);

// Card numbers travel as UTF-8 with every byte below 0x21, 0x25 ("%") and 0x7F
// written as "%HH" (two upper-case hex digits); every other byte goes as is.
// EscapeCard returns the escaped size, or -1 when it does not fit in capacity.
int EscapeCard(std::string_view utf8, char* out, int capacity);
// UnescapeCard returns the decoded size (never more than field.size()), or -1
// when the field holds a raw byte that should have been escaped or a bad "%".
int UnescapeCard(std::string_view field, char* out);

// True when bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsUtf8(std::string_view bytes);

// Lower-case hex text of bytes, and its inverse (false on odd length or a non-hex digit).
void ToHex(const unsigned char* bytes, std::size_t size, char* out);
bool FromHex(std::string_view hex, unsigned char* out, std::size_t size);

} // namespace ztp
