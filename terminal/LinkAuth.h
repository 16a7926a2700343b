#pragma once

#include <QByteArray>

#include <nettle/hmac.h>

#include <array>
#include <cstdint>
#include <string_view>

// The proofs of ZTP/2 (docs/terminal-protocol.md, section 2): each side sends a
// random challenge (nonce); the client proves the link key over both, the
// terminal proves it back, and both derive a session key from which every punch
// stream gets an authentication code. All are HMAC-SHA256 keyed with the link
// key's decimal text, which itself never crosses the network.
namespace ztp {

// A fresh random challenge as lower-case hex text (kNonceBytes bytes).
QByteArray MakeNonce();

// The two nonces of a session as sent (hex text).
struct Nonces {
    QByteArray terminal;
    QByteArray client;
};

// HMAC-SHA256(key = decimal text of linkKey, "ZTP/2 client|terminal <tn> <cn>"),
// as 64 lower-case hex digits.
QByteArray ClientProof(int linkKey, const Nonces& nonces);
QByteArray TerminalProof(int linkKey, const Nonces& nonces);

using SessionKey = std::array<std::uint8_t, 32>;
// HMAC-SHA256(key = decimal text of linkKey, "ZTP/2 session <tn> <cn>").
SessionKey MakeSessionKey(int linkKey, const Nonces& nonces);

// Compares two proofs or codes in time independent of where they differ.
bool SameProof(const QByteArray& a, std::string_view b);
inline bool SameProof(const QByteArray& a, const QByteArray& b)
{
    return SameProof(a, std::string_view(b.constData(), std::size_t(b.size())));
}

// HMAC-SHA256 keyed with the session key over message, as 64 lower-case hex
// digits: the code of a clock request or reading.
QByteArray SessionCode(const SessionKey& key, const QByteArray& message);

// The authentication code of one punch stream: HMAC-SHA256 keyed with the
// session key over "STREAM <n>" and every line of the stream from LOG to the
// END line without its code, each followed by a line feed. n counts the
// streams of the session from 1, so no stream can be replayed in place of another.
class StreamCode {
public:
    StreamCode(const SessionKey& key, qint64 streamNumber);
    // A line without its line feed.
    void AddLine(std::string_view line);
    // The code as 64 lower-case hex digits.
    QByteArray Hex();

private:
    hmac_sha256_ctx ctx_;
};

} // namespace ztp
