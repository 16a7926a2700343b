#pragma once

#include "terminal/CTerminalLink.h"
#include "terminal/CardTextCache.h"
#include "terminal/LineChannel.h"
#include "terminal/LinkAuth.h"
#include "terminal/LinkTransport.h"
#include "terminal/PunchLine.h"

#include <memory>
#include <optional>
#include <string_view>

// The terminal link over TCP, speaking our terminal protocol (ZTP/2) in
// blocking calls, without an event loop. Each line must arrive whole within
// the read time-out, and no call outlives the deadline. The terminal proves
// the link key too, and every punch stream carries an authentication code, so
// a machine answering in the terminal's place, or one altering the stream on
// the way, fails the download. The punch stream is read line by line through
// one fixed buffer, so memory does not depend on the size of the terminal's log.
class NetTerminalLink : public CTerminalLink {
public:
    static constexpr int kDefaultConnectTimeoutMs = 3000;
    static constexpr int kDefaultReadTimeoutMs = 5000;
    // Far above any real terminal's log; a log announced larger is refused.
    static constexpr qint64 kDefaultPunchLimit = 5'000'000;

    NetTerminalLink();
    // Over another transport (a scripted one: the link without a network).
    explicit NetTerminalLink(std::unique_ptr<LinkTransport> transport);
    ~NetTerminalLink() override;

    // Time allowed for the TCP connection, and for each line (or request) to
    // arrive (or leave) whole.
    void SetTimeouts(int connectMs, int readMs);
    // Most punches one download may bring; LoadPunchLog refuses a log announced larger.
    void SetPunchLimit(qint64 limit) { punchLimit_ = limit; }

    bool OpenLink(const QString& address, int port) override;
    void CloseLink() override;
    bool SetLinkKey(int key) override;
    void SetDeadline(QDeadlineTimer deadline) override { deadline_ = deadline; }
    bool PreparePunchRead(int machine) override;
    bool SetTerminalActive(int machine, bool active) override;
    bool LoadPunchLog(int machine) override;
    bool NextPunch(int machine, CAttLogRec& punch) override;
    void FetchErrorCode(int& code) override;
    qint64 AnnouncedCount() const override { return announced_; }
    bool StreamBroken() const override { return broken_; }
    QString LastFailure() const override { return failure_; }

    bool IsOpen() const { return open_; }
    // Bytes read from the terminal since this object was made.
    qint64 BytesReceived() const { return channel_.BytesReceived(); }

private:
    // An answer line: "OK [args]" or "ERR <code> [text]".
    struct Answer {
        bool ok = false;
        int code = 0;
        std::string_view rest;
    };
    enum class Stream { None, Loaded, Open, Done };
    // One step of the punch stream: a punch into punch_, the end marker, or a break.
    enum class Step { Punch, End, Broken };

    bool Handshake();
    bool Request(const QByteArray& line, Answer& answer);
    bool ReadAnswer(Answer& answer);
    static bool ParseAnswer(std::string_view line, Answer& answer);
    // The deadline of one wait: the read time-out from now, the link's
    // deadline, and limit, whichever comes first.
    QDeadlineTimer WaitUntil(QDeadlineTimer limit = QDeadlineTimer(QDeadlineTimer::Forever)) const;
    bool ReadLine(std::string_view& line, const char* what,
                  QDeadlineTimer limit = QDeadlineTimer(QDeadlineTimer::Forever));
    bool Send(const QByteArray& line);
    bool DeadlinePassed(const char* before);
    bool Refused(const char* request, const Answer& answer);
    bool BeginStream(int machine);
    Step ReadStreamStep(QDeadlineTimer limit = QDeadlineTimer(QDeadlineTimer::Forever));
    bool FinishStream();
    Step StreamFailure(int localCode, const QString& text);
    void DropLink(int localCode, const QString& text);
    void SetFailure(const QString& text);

    std::unique_ptr<LinkTransport> transport_;
    LineChannel channel_;
    ztp::WirePunch punch_;
    CardTextCache cards_;
    int key_ = 0;
    QDeadlineTimer deadline_{QDeadlineTimer::Forever};
    int connectTimeoutMs_ = kDefaultConnectTimeoutMs;
    int readTimeoutMs_ = kDefaultReadTimeoutMs;
    qint64 punchLimit_ = kDefaultPunchLimit;
    bool open_ = false;
    ztp::SessionKey sessionKey_{};
    qint64 streams_ = 0; // punch streams begun in this session
    std::optional<ztp::StreamCode> code_;
    Stream stream_ = Stream::None;
    qint64 announced_ = -1;
    qint64 delivered_ = 0;
    bool broken_ = false;
    bool ownFault_ =
        false; // the last call failed on the link's own check, not the terminal's refusal
    int lastTerminalError_ = ztp::err::kNoData;
    int localError_ = ztp::local::kNotConnected;
    QString failure_;
};
