#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Each byte as two lower-case hexadecimal digits ("%02x"), no separators.
QString BytesToHex(const QByteArray& bytes);

// Converts whole pairs of characters to bytes, at most count of them; an odd
// last character is ignored. Characters are taken upper-cased and valued as
// (c - '0') when that is 0..9, else (c - '0' - 7), in 8-bit arithmetic, so
// "a"-"f" and "A"-"F" give 10-15 and other characters give meaningless bytes
// rather than an error (the cipher text is only ever hand-edited).
QByteArray HexToBytes(QStringView text, qsizetype count);
