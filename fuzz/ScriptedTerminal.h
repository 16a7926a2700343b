#pragma once

#include "terminal/LinkAuth.h"
#include "terminal/LinkTransport.h"

#include <QByteArray>

#include <optional>
#include <string_view>

// A terminal played from a fuzzer's bytes, under the link without a network.
// Raw: every byte the link reads comes from the input, greeting included.
// Authenticated: the terminal greets and proves the key as a real one does,
// then the input follows as its answers and punch streams, with the
// authentication code of each END line computed over the lines it served, so
// the fuzzer reaches past the code check too. Reads come in pieces of a given
// size, so lines split at every point; the input's end closes the connection.
class ScriptedTerminal : public LinkTransport {
public:
    ScriptedTerminal(std::string_view input, bool authenticated, int pieceBytes, int linkKey);

    bool Connect(const QString&, quint16, QDeadlineTimer) override { return connected_ = true; }
    bool IsConnected() const override { return connected_; }
    qint64 Read(char* out, qint64 size, QDeadlineTimer until, Stop& stop) override;
    bool Write(const char* data, qint64 size, QDeadlineTimer until) override;
    void Abort() override { connected_ = false; }
    QString ErrorText() const override { return QStringLiteral("closed"); }

private:
    // The input as served once the session key is known: END lines get their code.
    QByteArray WithStreamCodes(std::string_view input, const ztp::SessionKey& key) const;

    std::string_view input_;
    bool authenticated_;
    int pieceBytes_;
    int linkKey_;
    bool connected_ = false;
    ztp::Nonces nonces_;
    QByteArray served_; // what Read hands out
    qsizetype at_ = 0;
    bool inputQueued_ = false;
};
