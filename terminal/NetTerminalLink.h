#pragma once

#include "terminal/CTerminalLink.h"
#include "terminal/CardTextCache.h"
#include "terminal/LineChannel.h"
#include "terminal/PunchLine.h"

#include <QTcpSocket>

#include <string_view>

// The terminal link over TCP, speaking our terminal protocol (ZTP/1) in
// blocking calls with time-outs, without an event loop. The punch stream is
// read line by line through one fixed buffer, so memory does not depend on the
// size of the terminal's log.
class NetTerminalLink : public CTerminalLink {
public:
    static constexpr int kDefaultConnectTimeoutMs = 3000;
    static constexpr int kDefaultReadTimeoutMs = 5000;

    NetTerminalLink();
    ~NetTerminalLink() override;

    // Time allowed for the TCP connection, and for each wait for data.
    void SetTimeouts(int connectMs, int readMs);

    bool OpenLink(const QString& address, int port) override;
    void CloseLink() override;
    bool SetLinkKey(int key) override;
    void SetDeadline(QDeadlineTimer deadline) override { deadline_ = deadline; }
    bool PreparePunchRead(int machine) override;
    bool SetTerminalActive(int machine, bool active) override;
    bool LoadPunchLog(int machine) override;
    bool NextPunch(int machine, CAttLogRec& punch) override;
    void FetchErrorCode(int& code) override;
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

    bool Handshake();
    bool Request(const QByteArray& line, Answer& answer);
    bool ReadAnswer(Answer& answer);
    static bool ParseAnswer(std::string_view line, Answer& answer);
    bool ReadLine(std::string_view& line, const char* what);
    bool Refused(const char* request, const Answer& answer);
    // One step of the punch stream: a punch into punch_, the end marker, or a break.
    enum class Step { Punch, End, Broken };
    bool BeginStream(int machine);
    Step ReadStreamStep();
    bool FinishStream();
    Step StreamFailure(const QString& text);
    void DropLink(int localCode, const QString& text);

    QTcpSocket socket_;
    LineChannel channel_;
    ztp::WirePunch punch_;
    CardTextCache cards_;
    int key_ = 0;
    QDeadlineTimer deadline_{QDeadlineTimer::Forever};
    int connectTimeoutMs_ = kDefaultConnectTimeoutMs;
    int readTimeoutMs_ = kDefaultReadTimeoutMs;
    bool open_ = false;
    Stream stream_ = Stream::None;
    qint64 expected_ = 0;
    qint64 delivered_ = 0;
    bool broken_ = false;
    int lastTerminalError_ = ztp::err::kNoData;
    int localError_ = ztp::local::kNotConnected;
    QString failure_;
};
