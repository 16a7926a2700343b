#pragma once

#include <QStringView>

#include <cstddef>
#include <string_view>

// Decimal integers in text. One scanner reads them for every caller here: the
// port text of a device record (read as far as it is a number), the stored
// link key and the program's options. The terminal protocol's fields have a
// stricter rule of their own (terminal/WireText.h: at most 10 digits).

// A sign ("-", and "+" when plusAllowed) and decimal digits read from position
// at. value saturates at the 32-bit limits; end is the position after the last
// digit read (at, when there was no digit).
struct IntScan {
    long long value = 0;
    std::size_t end = 0;
    bool digits = false;   // at least one digit was read
    bool overflow = false; // the digits made a number outside the 32-bit range
};
IntScan ScanInt(std::string_view text, std::size_t at = 0, bool plusAllowed = false);
IntScan ScanInt(QStringView text, std::size_t at = 0, bool plusAllowed = false);

// The whole text as a signed 32-bit decimal (no blanks, at least one digit).
// False on anything else, overflow included; value is then unchanged.
bool ParseWholeInt(std::string_view text, int& value, bool plusAllowed = false);
bool ParseWholeInt(QStringView text, int& value, bool plusAllowed = false);

// The decimal integer a text begins with (leading blanks and tabs and a sign
// allowed, saturating at the 32-bit limits); 0 when it does not begin with a number.
int LeadingInt(QStringView text);

// Writes value in decimal at out (at least 11 bytes free); returns the bytes written.
int WriteIntWide(char* out, int value); // any value
inline int WriteInt(char* out, int value)
{
    if (value >= 0 && value < 10) { // most codes of a punch
        out[0] = char('0' + value);
        return 1;
    }
    return WriteIntWide(out, value);
}
