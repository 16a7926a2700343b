// The password cipher's hex decoding and deciphering, with the properties a
// settings file relies on: hex text of bytes decodes to the same bytes, and a
// password enciphered deciphers to itself (up to its first zero byte).
#include "platform/CodePage.h"
#include "settings/CCrypt.h"
#include "settings/HexText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CCrypt crypt;
    if (size < 1)
        return 0;
    const qsizetype count = data[0];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QString asText = QString::fromUtf8(bytes);

    const QByteArray decoded = HexToBytes(asText, count);
    if (decoded.size() > std::min(count, asText.size() / 2))
        std::abort();
    if (HexToBytes(BytesToHex(bytes), bytes.size()) != bytes)
        std::abort();

    crypt.Decrypt(bytes);
    const QByteArray plain =
        bytes.left(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0'));
    if (crypt.Decrypt(crypt.Encrypt(bytes)) != FromAnsi(plain))
        std::abort();
    return 0;
}
