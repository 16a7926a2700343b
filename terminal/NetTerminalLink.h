#pragma once

#include "terminal/CTerminalLink.h"
#include "terminal/CardTextCache.h"
#include "terminal/LinkSession.h"
#include "terminal/PunchStream.h"

#include <memory>

class LinkTransport;

// The terminal link over TCP, speaking our terminal protocol (ZTP/2): the
// terminal's operations as requests of a LinkSession, whose punch streams a
// PunchStream reads. The terminal proves the link key too, and every punch
// stream and clock reading carries an authentication code, so a machine
// answering in the terminal's place, or one altering them on the way, fails
// the call.
class NetTerminalLink : public CTerminalLink {
public:
    static constexpr int kDefaultConnectTimeoutMs = LinkSession::kDefaultConnectTimeoutMs;
    static constexpr int kDefaultReadTimeoutMs = LinkSession::kDefaultReadTimeoutMs;
    // Far above any real terminal's log; a log announced larger is refused.
    static constexpr qint64 kDefaultPunchLimit = 5'000'000;
    // How long the rest of a punch stream that the caller gave up is read (to
    // keep the link in step) before the link is dropped instead.
    static constexpr int kFinishStreamMs = 200;
    // An idle link is asked (PING) this long after its last request: well
    // within the terminal's idle time, which is at least 30 s.
    static constexpr int kDefaultKeepAliveMs = 10000;

    NetTerminalLink();
    // Over another transport (a scripted one: the link without a network).
    explicit NetTerminalLink(std::unique_ptr<LinkTransport> transport);
    ~NetTerminalLink() override;

    // Time allowed for the TCP connection, and for each line (or request) to
    // arrive (or leave) whole.
    void SetTimeouts(int connectMs, int readMs) { session_.SetTimeouts(connectMs, readMs); }
    // Most punches one download may bring; LoadPunchLog refuses a log announced larger.
    void SetPunchLimit(qint64 limit) { punchLimit_ = limit; }
    // How long an open link may stay silent before TendIdle asks the terminal.
    void SetKeepAlive(int ms) { keepAliveMs_ = ms; }

    bool OpenLink(const QString& address, int port) override;
    void CloseLink() override;
    bool IsOpen() const override { return session_.IsOpen(); }
    void SetLinkKey(int key) override { key_ = key; }
    bool TendIdle() override;
    void SetDeadline(QDeadlineTimer deadline) override { session_.SetDeadline(deadline); }
    bool PreparePunchRead(int machine) override;
    bool SetTerminalActive(int machine, bool active) override;
    bool LoadPunchLog(int machine) override;
    bool NextPunch(int machine, CAttLogRec& punch) override;
    void FetchErrorCode(int& code) override;
    bool ReadClock(int machine, TerminalTime& time) override;
    bool SetClock(int machine, const TerminalTime& time) override;
    qint64 AnnouncedCount() const override { return announced_; }
    bool StreamBroken() const override { return broken_; }
    QString LastFailure() const override { return session_.Failure(); }

    // Bytes read from the terminal since this object was made.
    qint64 BytesReceived() const { return session_.BytesReceived(); }

private:
    enum class Log { None, Loaded, Streaming };

    // A request of this link: reads the rest of an unfinished stream first.
    bool Request(const QByteArray& line, LinkSession::Answer& answer);
    bool BeginStream(int machine);
    // Reads the rest of an unfinished stream, for kFinishStreamMs at most.
    bool FinishStream();
    // The stream's next step by limit; its end or break ends the log.
    PunchStream::Step Advance(QDeadlineTimer limit);
    // The stream broke: the session goes too (its fault, when it has one).
    bool StreamFailed();
    // A clock request and its code: "<word> <n> <fields>".
    QByteArray ClockCode(const char* word, const QByteArray& fields) const;

    std::unique_ptr<LinkTransport> transport_;
    LinkSession session_;
    PunchStream stream_;
    CardTextCache cards_;
    int key_ = 0;
    qint64 punchLimit_ = kDefaultPunchLimit;
    int keepAliveMs_ = kDefaultKeepAliveMs;
    Log log_ = Log::None;
    qint64 streams_ = 0;       // punch streams begun in this session
    qint64 clockRequests_ = 0; // clock requests sent in this session
    qint64 announced_ = -1;
    bool broken_ = false;
    bool ownFault_ = false; // the last call failed on the link's own check, not a refusal
    int ownCode_ = 0;
};
