#include "settings/HexText.h"

QString BytesToHex(const QByteArray& bytes)
{
    static const char digits[] = "0123456789abcdef";
    QString hex;
    hex.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        hex.append(QLatin1Char(digits[b >> 4]));
        hex.append(QLatin1Char(digits[b & 0x0F]));
    }
    return hex;
}

namespace {

unsigned char digitValue(QChar c)
{
    const auto upper = static_cast<unsigned char>(c.toUpper().unicode());
    const auto v = static_cast<unsigned char>(upper - '0');
    return v <= 9 ? v : static_cast<unsigned char>(upper - '0' - 7);
}

} // namespace

QByteArray HexToBytes(QStringView text, qsizetype count)
{
    QByteArray bytes;
    const qsizetype length = text.size();
    for (qsizetype i = 0; 2 * i + 1 < length && i < count; ++i) {
        const unsigned high = digitValue(text[2 * i]);
        const unsigned low = digitValue(text[2 * i + 1]);
        bytes.append(static_cast<char>(((high * 16) | low) & 0xFF));
    }
    return bytes;
}
