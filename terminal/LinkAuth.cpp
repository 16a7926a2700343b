#include "terminal/LinkAuth.h"

#include "terminal/Protocol.h"
#include "terminal/WireText.h"

#include <QRandomGenerator>

#include <cstring>

#include <nettle/memops.h>

namespace ztp {
namespace {

void Hmac(const uint8_t* key, std::size_t keySize, const QByteArray& message,
          uint8_t (&digest)[SHA256_DIGEST_SIZE])
{
    hmac_sha256_ctx ctx;
    hmac_sha256_set_key(&ctx, keySize, key);
    hmac_sha256_update(&ctx, std::size_t(message.size()),
                       reinterpret_cast<const uint8_t*>(message.constData()));
    hmac_sha256_digest(&ctx, SHA256_DIGEST_SIZE, digest);
}

void LinkHmac(int linkKey, const char* label, const Nonces& nonces,
              uint8_t (&digest)[SHA256_DIGEST_SIZE])
{
    const QByteArray key = QByteArray::number(linkKey);
    const QByteArray message =
        QByteArray(kVersion) + ' ' + label + ' ' + nonces.terminal + ' ' + nonces.client;
    Hmac(reinterpret_cast<const uint8_t*>(key.constData()), std::size_t(key.size()), message,
         digest);
}

QByteArray HexOf(const uint8_t (&digest)[SHA256_DIGEST_SIZE])
{
    QByteArray text(2 * SHA256_DIGEST_SIZE, Qt::Uninitialized);
    ToHex(digest, SHA256_DIGEST_SIZE, text.data());
    return text;
}

QByteArray Proof(int linkKey, const char* label, const Nonces& nonces)
{
    uint8_t digest[SHA256_DIGEST_SIZE];
    LinkHmac(linkKey, label, nonces, digest);
    return HexOf(digest);
}

} // namespace

QByteArray MakeNonce()
{
    quint32 words[kNonceBytes / 4];
    QRandomGenerator::system()->fillRange(words);
    QByteArray text(2 * kNonceBytes, Qt::Uninitialized);
    ToHex(reinterpret_cast<const unsigned char*>(words), kNonceBytes, text.data());
    return text;
}

QByteArray ClientProof(int linkKey, const Nonces& nonces)
{
    return Proof(linkKey, "client", nonces);
}

QByteArray TerminalProof(int linkKey, const Nonces& nonces)
{
    return Proof(linkKey, "terminal", nonces);
}

SessionKey MakeSessionKey(int linkKey, const Nonces& nonces)
{
    uint8_t digest[SHA256_DIGEST_SIZE];
    LinkHmac(linkKey, "session", nonces, digest);
    SessionKey key;
    std::copy(std::begin(digest), std::end(digest), key.begin());
    return key;
}

bool SameProof(const QByteArray& a, std::string_view b)
{
    // The lengths are public (always 64 digits); only the contents are compared
    // in constant time.
    return std::size_t(a.size()) == b.size() && memeql_sec(a.constData(), b.data(), b.size()) != 0;
}

QByteArray SessionCode(const SessionKey& key, const QByteArray& message)
{
    uint8_t digest[SHA256_DIGEST_SIZE];
    Hmac(key.data(), key.size(), message, digest);
    return HexOf(digest);
}

StreamCode::StreamCode(const SessionKey& key, qint64 streamNumber)
{
    hmac_sha256_set_key(&ctx_, key.size(), key.data());
    const QByteArray head = "STREAM " + QByteArray::number(streamNumber);
    AddLine(std::string_view(head.constData(), std::size_t(head.size())));
}

void StreamCode::AddLine(std::string_view line)
{
    // A line and its line feed in one update: a punch stream adds a million.
    uint8_t withFeed[kMaxLineBytes];
    if (line.size() < sizeof withFeed) {
        std::memcpy(withFeed, line.data(), line.size());
        withFeed[line.size()] = '\n';
        hmac_sha256_update(&ctx_, line.size() + 1, withFeed);
        return;
    }
    static const uint8_t lf = '\n';
    hmac_sha256_update(&ctx_, line.size(), reinterpret_cast<const uint8_t*>(line.data()));
    hmac_sha256_update(&ctx_, 1, &lf);
}

QByteArray StreamCode::Hex()
{
    uint8_t digest[SHA256_DIGEST_SIZE];
    hmac_sha256_digest(&ctx_, SHA256_DIGEST_SIZE, digest);
    return HexOf(digest);
}

} // namespace ztp
