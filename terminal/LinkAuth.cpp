#include "terminal/LinkAuth.h"

#include "terminal/Protocol.h"
#include "terminal/WireText.h"

#include <QRandomGenerator>

#include <nettle/hmac.h>

namespace ztp {

QByteArray MakeNonce()
{
    unsigned char bytes[kNonceBytes];
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes), kNonceBytes / 4);
    QByteArray text(2 * kNonceBytes, Qt::Uninitialized);
    ToHex(bytes, kNonceBytes, text.data());
    return text;
}

QByteArray KeyProof(int linkKey, const QByteArray& nonceText)
{
    const QByteArray key = QByteArray::number(linkKey);
    hmac_sha256_ctx ctx;
    hmac_sha256_set_key(&ctx, std::size_t(key.size()),
                        reinterpret_cast<const uint8_t*>(key.constData()));
    hmac_sha256_update(&ctx, std::size_t(nonceText.size()),
                       reinterpret_cast<const uint8_t*>(nonceText.constData()));
    uint8_t digest[SHA256_DIGEST_SIZE];
    hmac_sha256_digest(&ctx, SHA256_DIGEST_SIZE, digest);
    QByteArray text(2 * SHA256_DIGEST_SIZE, Qt::Uninitialized);
    ToHex(digest, SHA256_DIGEST_SIZE, text.data());
    return text;
}

bool SameProof(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace ztp
