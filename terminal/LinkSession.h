#pragma once

#include "terminal/LineChannel.h"
#include "terminal/LineSource.h"
#include "terminal/LinkAuth.h"
#include "terminal/Protocol.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QString>

#include <atomic>
#include <string_view>

class LinkTransport;

// The session half of the terminal link: the connection, the greeting and the
// key proofs in both directions, then request lines and their answers, in
// blocking calls without an event loop. Each line must arrive whole within the
// read time-out, and no wait outlives the deadline. A lost connection, a
// malformed answer or a passed deadline drops the session; a terminal's
// refusal (ERR) does not. The punch stream, the other half, reads its lines
// through LineSource.
class LinkSession final : public LineSource {
public:
    // An answer line: "OK [value]" or "ERR <code> [text]".
    struct Answer {
        bool ok = false;
        int code = 0;
        std::string_view rest; // the value of OK, the text of ERR
    };

    static constexpr int kDefaultConnectTimeoutMs = 3000;
    static constexpr int kDefaultReadTimeoutMs = 5000;

    explicit LinkSession(LinkTransport& transport);

    void SetTimeouts(int connectMs, int readMs);
    int ReadTimeoutMs() const { return readTimeoutMs_; }
    void SetDeadline(QDeadlineTimer deadline) { deadline_ = deadline; }

    // Connects and proves the key both ways; true when the session is open.
    bool Open(const QString& address, int port, int key);
    // Ends the session: says BYE first when the link is in step (no stream
    // half read) and there is time left, then drops the connection.
    void Close(bool inStep);
    bool IsOpen() const { return open_; }
    // Between requests, without waiting: true while the session is open. A
    // connection the terminal closed ends the session with that reason, and
    // bytes it sent unasked end it as a protocol error.
    bool StillOpen();
    // Milliseconds since the last line went to the terminal.
    qint64 IdleMs() const { return lastSent_.elapsed(); }
    const ztp::SessionKey& Key() const { return sessionKey_; }

    // Sends a request and reads its answer. True when an answer came, also a
    // refusal (answer.ok false); false when the session was dropped.
    bool Request(const QByteArray& line, Answer& answer);
    // Sends a line without waiting for an answer.
    bool Send(const QByteArray& line);
    bool ReadLine(std::string_view& line, const char* what, QDeadlineTimer limit) override;
    static bool ParseAnswer(std::string_view line, Answer& answer);

    // Records a terminal's refusal of request (code and text); returns false.
    bool Refused(const char* request, const Answer& answer);
    // Drops the connection, with the client's own error code and why.
    void Drop(int localCode, const QString& text);
    // Drops the session when the deadline has passed; before names the step.
    bool DeadlinePassed(const char* before);

    // The client's own code for why the session is not open (negative).
    int LocalError() const { return localError_; }
    // The code of the terminal's last refusal.
    int LastRefusal() const { return lastRefusal_; }
    // What went wrong last, one harmless line; empty when nothing did.
    const QString& Failure() const { return failure_; }
    void SetFailure(const QString& text);
    void SetLocalError(int localCode) { localError_ = localCode; }
    void ClearFailure() { failure_.clear(); }

    qint64 BytesReceived() const { return channel_.BytesReceived(); }

private:
    bool Handshake(int key);
    bool ReadAnswer(Answer& answer);

    LinkTransport& transport_;
    LineChannel channel_;
    QDeadlineTimer deadline_{QDeadlineTimer::Forever};
    int connectTimeoutMs_ = kDefaultConnectTimeoutMs;
    int readTimeoutMs_ = kDefaultReadTimeoutMs;
    // Read by the window's thread too (whether to show the link as open),
    // while the link's thread may be ending the session.
    std::atomic<bool> open_ = false;
    QElapsedTimer lastSent_;
    ztp::SessionKey sessionKey_{};
    int lastRefusal_ = 0;
    int localError_ = ztp::local::kNotConnected;
    QString failure_;
};
