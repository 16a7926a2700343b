#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

// Enciphers the database password for config.ini and deciphers it again.
// RC4 keyed with the first 5 bytes of an MD5 digest of key material derived
// from a fixed pass phrase, padded with 11 zero bytes; every call starts at the
// first byte of the key stream, so equal passwords give equal cipher texts.
// The cipher text is lower-case hexadecimal, two digits per byte.
class CCrypt {
public:
    // The pass phrase every instance of the program is built with.
    static constexpr const char* kPassPhrase = "Gm3)R%wqa7zz14";

    explicit CCrypt(const char* passPhrase = kPassPhrase);
    virtual ~CCrypt();
    CCrypt(const CCrypt&) = delete;
    CCrypt& operator=(const CCrypt&) = delete;

    // plain: the password in the 8-bit code page. Returns the hex cipher text,
    // or the empty text on failure.
    QByteArray Encrypt(const QByteArray& plain);
    // cipher: hex digits. Returns the password (8-bit text up to its first zero,
    // converted to UTF-16), or the empty text on failure.
    QString Decrypt(const QByteArray& cipher);
    // Derives the key; called by Encrypt and Decrypt while there is none.
    bool CreateKey();

    bool Status() const { return status_; }
    std::uint32_t LastError() const { return lastError_; }
    const QString& ErrorText() const { return errorText_; }

    // The bytes hashed to derive the key (exposed for tests of the derivation).
    static QByteArray KeyMaterial(const char* passPhrase);

private:
    // Derives the key when there is none yet; sets and returns Status().
    bool ensureKey();
    QByteArray applyKeyStream(const QByteArray& input) const;

    struct Key;
    std::unique_ptr<Key> key_;
    bool status_ = false;
    std::uint32_t lastError_ = 0;
    QString errorText_;
    const char* passPhrase_;
};
