#pragma once

#include <QByteArray>

// The link key handshake: the terminal sends a random challenge (nonce), the
// client answers with HMAC-SHA256 of the challenge text keyed with the link
// key's decimal text. The key itself never crosses the network.
namespace ztp {

// A fresh random challenge as lower-case hex text (kNonceBytes bytes).
QByteArray MakeNonce();

// The answer to a challenge: HMAC-SHA256(key = decimal text of linkKey,
// message = nonceText as received), as 64 lower-case hex digits.
QByteArray KeyProof(int linkKey, const QByteArray& nonceText);

// Compares two proofs in time independent of where they differ.
bool SameProof(const QByteArray& a, const QByteArray& b);

} // namespace ztp
