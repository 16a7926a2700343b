#pragma once

#include <QString>

// The date and time texts of export lines and movement records. A number below
// 10 gets one leading "0"; any other is written in full (so -5 gives "0-5",
// as the rule "below 10" implies).
QString Pad2(int v);
QString DayMonthYearText(int day, int month, int year); // 05-03-2024
QString YearMonthDayText(int year, int month, int day); // 2024-03-05
QString TimeText(int hour, int minute, int second);     // "08:07:09 " with the trailing blank

// The same texts written as bytes at out, for the download's hot path; each
// returns the bytes written (at most 12 per number plus separators).
namespace datetext {
int WritePad2Wide(char* out, int v); // any value outside 0..99
// Every valid date and time field but the year takes the inline way.
inline int WritePad2(char* out, int v)
{
    if (v < 0 || v > 99)
        return WritePad2Wide(out, v);
    out[0] = char('0' + v / 10);
    out[1] = char('0' + v % 10);
    return 2;
}
int WriteDayMonthYear(char* out, int day, int month, int year);
int WriteYearMonthDay(char* out, int year, int month, int day);
int WriteTime(char* out, int hour, int minute, int second);
constexpr int kMaxTextBytes = 3 * 12 + 3; // three numbers, two separators, trailing blank
} // namespace datetext

// A span of whole seconds (not negative) for people: "12 s", "4 min 12 s",
// "3 h 5 min 0 s", and from a day on "2 d 3 h 5 min".
QString SpanText(qint64 seconds);
