#include "terminal/LinkSession.h"

#include "terminal/LinkTransport.h"
#include "terminal/ShownText.h"
#include "terminal/WireText.h"

#include <algorithm>

namespace {

int LocalCodeFor(LineChannel::Status status)
{
    switch (status) {
    case LineChannel::Status::TimedOut:
        return ztp::local::kTimedOut;
    case LineChannel::Status::TooLong:
        return ztp::local::kProtocolError;
    default:
        return ztp::local::kLinkClosed;
    }
}

bool IsHex(std::string_view text, std::size_t digits)
{
    return text.size() == digits && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

QString RequestWord(const QByteArray& line)
{
    const qsizetype space = line.indexOf(' ');
    return QString::fromLatin1(space < 0 ? line : line.left(space));
}

const QString kDeadlineText = QStringLiteral("the time allowed for this terminal ran out");

} // namespace

LinkSession::LinkSession(LinkTransport& transport) : transport_(transport), channel_(transport) {}

void LinkSession::SetTimeouts(int connectMs, int readMs)
{
    connectTimeoutMs_ = connectMs;
    readTimeoutMs_ = readMs;
}

void LinkSession::SetFailure(const QString& text)
{
    // Everything here may quote the terminal: keep it to one harmless line.
    failure_ = ShownText(text, 400);
}

bool LinkSession::DeadlinePassed(const char* before)
{
    if (!deadline_.hasExpired())
        return false;
    Drop(ztp::local::kTimedOut,
         kDeadlineText + QStringLiteral(" (before %1)").arg(QLatin1String(before)));
    return true;
}

bool LinkSession::Open(const QString& address, int port, int key)
{
    if (transport_.IsConnected() || open_)
        Drop(ztp::local::kNotConnected, {});
    failure_.clear();
    if (port < 1 || port > 65535) {
        localError_ = ztp::local::kNotConnected;
        SetFailure(QStringLiteral("port %1 is out of range").arg(port));
        return false;
    }
    if (DeadlinePassed("connecting"))
        return false;
    const QDeadlineTimer until = std::min(QDeadlineTimer(connectTimeoutMs_), deadline_);
    if (!transport_.Connect(address, quint16(port), until)) {
        const bool late = deadline_.hasExpired();
        Drop(late ? ztp::local::kTimedOut : ztp::local::kNotConnected,
             QStringLiteral("cannot connect to %1:%2: %3")
                 .arg(address)
                 .arg(port)
                 .arg(late ? kDeadlineText : ShownText(transport_.ErrorText())));
        return false;
    }
    open_ = Handshake(key);
    return open_;
}

bool LinkSession::Handshake(int key)
{
    std::string_view line;
    if (!ReadLine(line, "the greeting", QDeadlineTimer(QDeadlineTimer::Forever)))
        return false;
    // HELLO <version> <nonce>; later versions may add fields, which are ignored.
    std::string_view fields[4];
    const int count = ztp::SplitFields(line, fields, 4);
    if (count < 2 || fields[0] != "HELLO") {
        Drop(ztp::local::kProtocolError, QStringLiteral("not a terminal greeting"));
        return false;
    }
    if (fields[1] != ztp::kVersion) {
        Drop(ztp::local::kProtocolError,
             QStringLiteral("terminal speaks %1, not %2")
                 .arg(ShownText(fields[1], 40), QLatin1String(ztp::kVersion)));
        return false;
    }
    if (count < 3 || !IsHex(fields[2], 2 * ztp::kNonceBytes)) {
        Drop(ztp::local::kProtocolError, QStringLiteral("malformed terminal greeting"));
        return false;
    }
    const ztp::Nonces nonces{QByteArray(fields[2].data(), qsizetype(fields[2].size())),
                             ztp::MakeNonce()};
    open_ = true; // Send and ReadAnswer need an open session
    if (!Send("AUTH " + nonces.client + ' ' + ztp::ClientProof(key, nonces)))
        return false;
    Answer answer;
    if (!ReadAnswer(answer))
        return false;
    if (!answer.ok) {
        Refused("AUTH", answer);
        Drop(ztp::local::kNotConnected, failure_);
        return false;
    }
    if (!ztp::SameProof(ztp::TerminalProof(key, nonces), answer.rest)) {
        Drop(ztp::local::kNotAuthentic,
             QStringLiteral("the terminal did not prove that it holds the link key "
                            "(another machine answers at its address, or the keys differ)"));
        return false;
    }
    sessionKey_ = ztp::MakeSessionKey(key, nonces);
    return true;
}

void LinkSession::Close(bool inStep)
{
    if (open_ && inStep && !deadline_.hasExpired()) {
        // A polite goodbye; the terminal's answer is not needed to close. The
        // terminal enables itself when the session ends, however it ends.
        const QDeadlineTimer until =
            std::min(QDeadlineTimer(std::min(readTimeoutMs_, 1000)), deadline_);
        if (channel_.WriteAll(QByteArrayLiteral("BYE\n"), until)) {
            std::string_view line;
            channel_.ReadLine(line, until);
        }
    }
    Drop(ztp::local::kNotConnected, {});
}

bool LinkSession::Request(const QByteArray& line, Answer& answer)
{
    if (!open_) {
        if (failure_.isEmpty())
            SetFailure(QStringLiteral("the link is not open"));
        return false;
    }
    if (DeadlinePassed(RequestWord(line).toLatin1().constData()) || !Send(line))
        return false;
    return ReadAnswer(answer);
}

bool LinkSession::StillOpen()
{
    if (!open_)
        return false;
    switch (channel_.Poll()) {
    case LineChannel::Status::TimedOut:
        return true;
    case LineChannel::Status::Line:
        Drop(ztp::local::kProtocolError,
             QStringLiteral("the terminal sent something unasked between requests"));
        return false;
    default:
        Drop(ztp::local::kLinkClosed,
             QStringLiteral("the terminal ended the link (a terminal ends a link that stays "
                            "idle for its idle time)"));
        return false;
    }
}

bool LinkSession::Send(const QByteArray& line)
{
    const QDeadlineTimer until = std::min(QDeadlineTimer(readTimeoutMs_), deadline_);
    if (channel_.WriteAll(line + '\n', until)) {
        lastSent_.start();
        return true;
    }
    const bool late = deadline_.hasExpired();
    Drop(late ? ztp::local::kTimedOut : ztp::local::kLinkClosed,
         late ? kDeadlineText + QStringLiteral(" (while sending %1)").arg(RequestWord(line))
              : QStringLiteral("cannot send %1 to the terminal").arg(RequestWord(line)));
    return false;
}

bool LinkSession::ReadAnswer(Answer& answer)
{
    std::string_view line;
    if (!ReadLine(line, "an answer", QDeadlineTimer(QDeadlineTimer::Forever)))
        return false;
    if (ParseAnswer(line, answer))
        return true;
    Drop(ztp::local::kProtocolError, QStringLiteral("unexpected answer from the terminal"));
    return false;
}

bool LinkSession::ParseAnswer(std::string_view line, Answer& answer)
{
    answer = Answer();
    std::string_view fields[3];
    const int count = ztp::SplitFields(line, fields, 3);
    if (fields[0] == "OK") {
        answer.ok = true;
        if (count > 1)
            answer.rest = line.substr(3);
        return true;
    }
    if (fields[0] != "ERR" || count < 2 || !ztp::ParseInt(fields[1], answer.code))
        return false;
    if (count == 3)
        answer.rest = fields[2];
    return true;
}

bool LinkSession::ReadLine(std::string_view& line, const char* what, QDeadlineTimer limit)
{
    const LineChannel::Status status =
        channel_.ReadLine(line, readTimeoutMs_, std::min(deadline_, limit));
    if (status == LineChannel::Status::Line)
        return true;
    const bool pastDeadline = status == LineChannel::Status::TimedOut && deadline_.hasExpired();
    Drop(LocalCodeFor(status),
         QStringLiteral("%1 (while reading %2)")
             .arg(pastDeadline ? kDeadlineText : QString::fromLatin1(StatusText(status)),
                  QLatin1String(what)));
    return false;
}

bool LinkSession::Refused(const char* request, const Answer& answer)
{
    lastRefusal_ = answer.code;
    SetFailure(QStringLiteral("terminal refused %1: error %2 %3")
                   .arg(QLatin1String(request))
                   .arg(answer.code)
                   .arg(ShownText(answer.rest)));
    return false;
}

void LinkSession::Drop(int localCode, const QString& text)
{
    localError_ = localCode;
    if (!text.isEmpty())
        SetFailure(text);
    open_ = false;
    transport_.Abort();
    channel_.Reset();
}
