#pragma once

#include <QByteArray>
#include <QString>

// The system's part of CodePage.h: conversions of text that is not plain
// ASCII to and from the 8-bit code page Windows-1256. iconv on POSIX,
// the code page's own conversion functions on Windows.

// A character that has no byte becomes one "?".
QByteArray ConvertToAnsi(const QString& text);

// Every byte has a character.
QString ConvertFromAnsi(const QByteArray& bytes);
