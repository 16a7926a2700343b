#pragma once

#include "terminal/Protocol.h"

#include <array>
#include <string_view>

// One punch as it travels in the punch stream:
//   P <card> <code1> <code2> <year> <month> <day> <hour> <minute> <second> <code3>
// The card number is escaped (see EscapeCard); the nine integers are signed
// 32-bit decimals, passed on as sent, so impossible dates reach the caller.
namespace ztp {

enum PunchValue { kCode1, kCode2, kYear, kMonth, kDay, kHour, kMinute, kSecond, kCode3 };
constexpr int kPunchValues = 9;

struct WirePunch {
    // The card number's UTF-8 bytes, unescaped; a fixed buffer so that reading
    // a punch never allocates.
    std::array<char, kMaxLineBytes> cardBytes{};
    int cardSize = 0;
    std::array<int, kPunchValues> values{};

    std::string_view card() const { return {cardBytes.data(), std::size_t(cardSize)}; }
};

// Parses one line (without its line feed). False when it is not a well-formed
// punch line, a card number that is not UTF-8 included.
bool ParsePunchLine(std::string_view line, WirePunch& punch);

// Writes the punch line with its line feed at out; returns its size, or -1
// when it would exceed kMaxLineBytes or capacity.
int FormatPunchLine(std::string_view cardUtf8, const std::array<int, kPunchValues>& values,
                    char* out, int capacity);

} // namespace ztp
