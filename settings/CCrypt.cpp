#include "settings/CCrypt.h"

#include "platform/CodePage.h"
#include "settings/HexText.h"

#include <nettle/arcfour.h>
#include <nettle/md5.h>

#include <cerrno>
#include <cstring>

// The RC4 key: 5 digest bytes followed by 11 zero bytes.
struct CCrypt::Key {
    std::uint8_t bytes[16] = {};
};

CCrypt::CCrypt(const char* passPhrase) : passPhrase_(passPhrase) {}

CCrypt::~CCrypt() = default;

QByteArray CCrypt::KeyMaterial(const char* passPhrase)
{
    constexpr std::size_t kBufferSize = 100;
    char buffer[kBufferSize] = {};
    const std::size_t n = passPhrase ? std::strlen(passPhrase) : 0;
    if (n >= kBufferSize)
        return {};
    std::memcpy(buffer, passPhrase, n + 1);
    // Swap from both ends, adding 5 to the byte moved to the back; the loop runs
    // past the middle, so inner pairs are visited twice.
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const std::size_t j = n - 1 - i;
        const char t = buffer[j];
        buffer[j] = static_cast<char>(static_cast<unsigned char>(buffer[i]) + 5);
        buffer[i] = t;
    }
    if (n < 4)
        return {};
    return QByteArray(buffer + 4); // up to the first zero byte
}

bool CCrypt::CreateKey()
{
    status_ = true;
    const QByteArray material = KeyMaterial(passPhrase_);
    if (material.isEmpty()) {
        status_ = false;
        lastError_ = EINVAL;
        errorText_ = QStringLiteral("Error creating encryption key");
        return false;
    }
    md5_ctx md5;
    md5_init(&md5);
    md5_update(&md5, std::size_t(material.size()),
               reinterpret_cast<const std::uint8_t*>(material.constData()));
    std::uint8_t digest[MD5_DIGEST_SIZE];
    md5_digest(&md5, sizeof digest, digest);

    auto key = std::make_unique<Key>();
    std::memcpy(key->bytes, digest, 5);
    key_ = std::move(key);
    return true;
}

QByteArray CCrypt::applyKeyStream(const QByteArray& input) const
{
    arcfour_ctx rc4;
    arcfour_set_key(&rc4, sizeof key_->bytes, key_->bytes);
    QByteArray output(input.size(), Qt::Uninitialized);
    arcfour_crypt(&rc4, std::size_t(input.size()), reinterpret_cast<std::uint8_t*>(output.data()),
                  reinterpret_cast<const std::uint8_t*>(input.constData()));
    return output;
}

bool CCrypt::ensureKey()
{
    status_ = key_ ? true : CreateKey();
    return status_;
}

namespace {
// Bytes up to the first zero byte, as zero-terminated text ends.
QByteArray UpToZero(const QByteArray& bytes)
{
    return QByteArray(bytes.constData(), qsizetype(qstrnlen(bytes.constData(), bytes.size())));
}
} // namespace

QByteArray CCrypt::Encrypt(const QByteArray& plain)
{
    if (!ensureKey())
        return {};
    return BytesToHex(applyKeyStream(UpToZero(plain))).toLatin1();
}

QString CCrypt::Decrypt(const QByteArray& cipher)
{
    if (!ensureKey())
        return {};
    const QString hex = QString::fromLatin1(cipher);
    return FromAnsi(UpToZero(applyKeyStream(HexToBytes(hex, hex.size() / 2))));
}
