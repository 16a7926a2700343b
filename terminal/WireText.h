#pragma once

#include "platform/IntText.h"

#include <cstddef>
#include <string_view>

// Small parsing and formatting helpers for protocol lines. They work on byte
// views and caller buffers so the punch stream is handled without allocation.
namespace ztp {

// Parses a whole field as a signed 32-bit decimal ("-" allowed, no "+", no
// blanks, at least one digit). False on anything else, overflow included.
inline bool ParseInt(std::string_view field, int& value)
{
    return ParseWholeInt(field, value);
}

using ::WriteInt;

// Splits a line into fields separated by single blanks. Returns the number of
// fields, or -1 when there are more than maxFields.
int SplitFields(std::string_view line, std::string_view* fields, int maxFields);

// Card numbers travel as UTF-8 with every byte below 0x21, 0x25 ("%") and 0x7F
// written as "%HH" (two upper-case hex digits); every other byte goes as is.
// EscapeCard returns the escaped size, or -1 when it does not fit in capacity.
int EscapeCard(std::string_view utf8, char* out, int capacity);
// UnescapeCard returns the decoded size (never more than field.size()), or -1
// when the field holds a raw byte that should have been escaped or a bad "%".
int UnescapeCard(std::string_view field, char* out);

// Lower-case hex text of bytes, and its inverse (false on odd length or a non-hex digit).
void ToHex(const unsigned char* bytes, std::size_t size, char* out);
bool FromHex(std::string_view hex, unsigned char* out, std::size_t size);

} // namespace ztp
