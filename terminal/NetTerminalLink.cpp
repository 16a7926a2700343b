#include "terminal/NetTerminalLink.h"

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

// A count field: a non-negative 32-bit decimal.
bool ParseCount(std::string_view field, qint64& count)
{
    int value = 0;
    if (!ztp::ParseInt(field, value) || value < 0)
        return false;
    count = value;
    return true;
}

bool IsHex(std::string_view text, std::size_t digits)
{
    return text.size() == digits && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// The first count fields of a line (any further ones are ignored).
int LeadingFields(std::string_view line, std::string_view* fields, int count)
{
    int n = 0;
    std::size_t at = 0;
    while (n < count) {
        const std::size_t blank = line.find(' ', at);
        fields[n++] = line.substr(at, blank == std::string_view::npos ? blank : blank - at);
        if (blank == std::string_view::npos)
            return n;
        at = blank + 1;
    }
    return n;
}

const QString kDeadlineText = QStringLiteral("the time allowed for this terminal ran out");

} // namespace

NetTerminalLink::NetTerminalLink() : NetTerminalLink(std::make_unique<SocketTransport>()) {}

NetTerminalLink::NetTerminalLink(std::unique_ptr<LinkTransport> transport)
    : transport_(std::move(transport)), channel_(*transport_)
{
}

NetTerminalLink::~NetTerminalLink()
{
    transport_->Abort();
}

void NetTerminalLink::SetTimeouts(int connectMs, int readMs)
{
    connectTimeoutMs_ = connectMs;
    readTimeoutMs_ = readMs;
}

bool NetTerminalLink::SetLinkKey(int key)
{
    key_ = key;
    return true;
}

void NetTerminalLink::SetFailure(const QString& text)
{
    // Everything here may quote the terminal: keep it to one harmless line.
    failure_ = ShownText(text, 400);
}

QDeadlineTimer NetTerminalLink::WaitUntil(QDeadlineTimer limit) const
{
    return std::min({QDeadlineTimer(readTimeoutMs_), deadline_, limit});
}

bool NetTerminalLink::DeadlinePassed(const char* before)
{
    if (!deadline_.hasExpired())
        return false;
    DropLink(ztp::local::kTimedOut,
             kDeadlineText + QStringLiteral(" (before %1)").arg(QLatin1String(before)));
    return true;
}

bool NetTerminalLink::OpenLink(const QString& address, int port)
{
    if (transport_->IsConnected() || open_)
        DropLink(ztp::local::kNotConnected, {});
    failure_.clear();
    stream_ = Stream::None;
    announced_ = -1;
    if (port < 1 || port > 65535) {
        localError_ = ztp::local::kNotConnected;
        SetFailure(QStringLiteral("port %1 is out of range").arg(port));
        return false;
    }
    if (DeadlinePassed("connecting"))
        return false;
    const QDeadlineTimer until = std::min(QDeadlineTimer(connectTimeoutMs_), deadline_);
    if (!transport_->Connect(address, quint16(port), until)) {
        const QString why =
            deadline_.hasExpired() ? kDeadlineText : ShownText(transport_->ErrorText());
        DropLink(deadline_.hasExpired() ? ztp::local::kTimedOut : ztp::local::kNotConnected,
                 QStringLiteral("cannot connect to %1:%2: %3").arg(address).arg(port).arg(why));
        return false;
    }
    open_ = Handshake();
    return open_;
}

bool NetTerminalLink::Handshake()
{
    std::string_view line;
    if (!ReadLine(line, "the greeting"))
        return false;
    // HELLO <version> <nonce>; later versions may add fields, which are ignored.
    std::string_view fields[3];
    const int count = LeadingFields(line, fields, 3);
    if (count < 2 || fields[0] != "HELLO") {
        DropLink(ztp::local::kProtocolError, QStringLiteral("not a terminal greeting"));
        return false;
    }
    if (fields[1] != ztp::kVersion) {
        DropLink(ztp::local::kProtocolError,
                 QStringLiteral("terminal speaks %1, not %2")
                     .arg(ShownText(fields[1], 40), QLatin1String(ztp::kVersion)));
        return false;
    }
    if (count < 3 || !IsHex(fields[2], 2 * ztp::kNonceBytes)) {
        DropLink(ztp::local::kProtocolError, QStringLiteral("malformed terminal greeting"));
        return false;
    }
    const ztp::Nonces nonces{QByteArray(fields[2].data(), qsizetype(fields[2].size())),
                             ztp::MakeNonce()};
    open_ = true; // Send and ReadAnswer need an open link
    if (!Send("AUTH " + nonces.client + ' ' + ztp::ClientProof(key_, nonces)))
        return false;
    Answer answer;
    if (!ReadAnswer(answer))
        return false;
    if (!answer.ok) {
        Refused("AUTH", answer);
        const QString why = failure_;
        DropLink(ztp::local::kNotConnected, why);
        return false;
    }
    if (!ztp::SameProof(ztp::TerminalProof(key_, nonces), answer.rest)) {
        DropLink(ztp::local::kNotAuthentic,
                 QStringLiteral("the terminal did not prove that it holds the link key "
                                "(another machine answers at its address, or the keys differ)"));
        return false;
    }
    sessionKey_ = ztp::MakeSessionKey(key_, nonces);
    streams_ = 0;
    return true;
}

void NetTerminalLink::CloseLink()
{
    if (open_ && stream_ != Stream::Open && !deadline_.hasExpired()) {
        // A polite goodbye; the terminal's answer is not needed to close. The
        // terminal re-enables itself when the session ends, however it ends.
        const QDeadlineTimer until =
            std::min(QDeadlineTimer(std::min(readTimeoutMs_, 1000)), deadline_);
        if (channel_.WriteAll(QByteArrayLiteral("BYE\n"), until)) {
            std::string_view line;
            channel_.ReadLine(line, until);
        }
    }
    open_ = false;
    stream_ = Stream::None;
    code_.reset();
    transport_->Abort();
    channel_.Reset();
    localError_ = ztp::local::kNotConnected;
}

bool NetTerminalLink::PreparePunchRead(int machine)
{
    Answer answer;
    if (!Request("PREPARE " + QByteArray::number(machine), answer))
        return false;
    return answer.ok || Refused("PREPARE", answer);
}

bool NetTerminalLink::SetTerminalActive(int machine, bool active)
{
    Answer answer;
    if (!Request("ACTIVE " + QByteArray::number(machine) + (active ? " 1" : " 0"), answer))
        return false;
    return answer.ok || Refused("ACTIVE", answer);
}

bool NetTerminalLink::LoadPunchLog(int machine)
{
    broken_ = false;
    announced_ = -1;
    Answer answer;
    if (!Request("LOAD " + QByteArray::number(machine), answer))
        return false;
    stream_ = Stream::None;
    if (!answer.ok)
        return Refused("LOAD", answer);
    qint64 count = 0;
    if (!ParseCount(answer.rest, count)) {
        DropLink(ztp::local::kProtocolError, QStringLiteral("LOAD answer without a count"));
        return false;
    }
    announced_ = count;
    if (count > punchLimit_) {
        // The link stays in step (nothing was read yet); the caller may go on using it.
        ownFault_ = true;
        localError_ = ztp::local::kTooManyPunches;
        SetFailure(QStringLiteral("the terminal announces %1 punches, more than the limit of %2 "
                                  "for one download")
                       .arg(count)
                       .arg(punchLimit_));
        return false;
    }
    delivered_ = 0;
    stream_ = Stream::Loaded;
    return true;
}

void NetTerminalLink::FetchErrorCode(int& code)
{
    if (ownFault_ || !open_) {
        code = localError_;
        return;
    }
    Answer answer;
    int terminalCode = 0;
    if (Request(QByteArrayLiteral("LASTERROR"), answer) && answer.ok &&
        ztp::ParseInt(answer.rest, terminalCode)) {
        code = terminalCode;
        return;
    }
    code = open_ ? lastTerminalError_ : localError_;
}

bool NetTerminalLink::Request(const QByteArray& line, Answer& answer)
{
    ownFault_ = false;
    if (!open_) {
        if (failure_.isEmpty())
            SetFailure(QStringLiteral("the link is not open"));
        return false;
    }
    if (stream_ == Stream::Open && !FinishStream())
        return false;
    const int space = line.indexOf(' ');
    const QByteArray word = space < 0 ? line : line.left(space);
    if (DeadlinePassed(word.constData()) || !Send(line))
        return false;
    return ReadAnswer(answer);
}

bool NetTerminalLink::Send(const QByteArray& line)
{
    if (channel_.WriteAll(line + '\n', WaitUntil()))
        return true;
    const int space = line.indexOf(' ');
    const QString word = QString::fromLatin1(space < 0 ? line : line.left(space));
    DropLink(deadline_.hasExpired() ? ztp::local::kTimedOut : ztp::local::kLinkClosed,
             deadline_.hasExpired()
                 ? kDeadlineText + QStringLiteral(" (while sending %1)").arg(word)
                 : QStringLiteral("cannot send %1 to the terminal").arg(word));
    return false;
}

bool NetTerminalLink::ReadAnswer(Answer& answer)
{
    std::string_view line;
    if (!ReadLine(line, "an answer"))
        return false;
    if (ParseAnswer(line, answer))
        return true;
    DropLink(ztp::local::kProtocolError, QStringLiteral("unexpected answer from the terminal"));
    return false;
}

bool NetTerminalLink::ParseAnswer(std::string_view line, Answer& answer)
{
    answer = Answer();
    if (line == "OK" || line.substr(0, 3) == "OK ") {
        answer.ok = true;
        answer.rest = line.size() > 3 ? line.substr(3) : std::string_view();
        return true;
    }
    if (line.substr(0, 4) != "ERR ")
        return false;
    const std::string_view tail = line.substr(4);
    const std::size_t blank = tail.find(' ');
    if (!ztp::ParseInt(tail.substr(0, blank), answer.code))
        return false;
    if (blank != std::string_view::npos)
        answer.rest = tail.substr(blank + 1);
    return true;
}

bool NetTerminalLink::ReadLine(std::string_view& line, const char* what, QDeadlineTimer limit)
{
    const LineChannel::Status status = channel_.ReadLine(line, WaitUntil(limit));
    if (status == LineChannel::Status::Line)
        return true;
    const bool pastDeadline = status == LineChannel::Status::TimedOut && deadline_.hasExpired();
    DropLink(LocalCodeFor(status),
             QStringLiteral("%1 (while reading %2)")
                 .arg(pastDeadline ? kDeadlineText : QString::fromLatin1(StatusText(status)),
                      QLatin1String(what)));
    return false;
}

bool NetTerminalLink::Refused(const char* request, const Answer& answer)
{
    lastTerminalError_ = answer.code;
    SetFailure(QStringLiteral("terminal refused %1: error %2 %3")
                   .arg(QLatin1String(request))
                   .arg(answer.code)
                   .arg(ShownText(answer.rest)));
    return false;
}

void NetTerminalLink::DropLink(int localCode, const QString& text)
{
    localError_ = localCode;
    if (!text.isEmpty())
        SetFailure(text);
    if (stream_ == Stream::Open || stream_ == Stream::Loaded)
        broken_ = true;
    open_ = false;
    stream_ = Stream::None;
    code_.reset();
    transport_->Abort();
    channel_.Reset();
}
