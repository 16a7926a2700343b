#pragma once

#include <QByteArray>
#include <QString>

// Text encodings of the program's files.

// The program's 8-bit code page (Windows-1256, the Arabic ANSI code page), so
// that cipher texts and export bytes match files made on the original platform.

// Converts to the 8-bit code page; a character that has no byte there becomes "?".
QByteArray ToAnsi(const QString& text);

// Converts 8-bit text to UTF-16; every byte has a character.
QString FromAnsi(const QByteArray& bytes);

// UTF-16LE, code unit by code unit (unpaired surrogates pass unchanged).
QByteArray ToUtf16Le(const QString& text);
// Reads UTF-16LE units: an odd last byte is dropped and the text ends at the
// first zero unit.
QString FromUtf16Le(const QByteArray& bytes);
