#include "terminal/NetTerminalLink.h"

#include "terminal/LinkAuth.h"
#include "terminal/WireText.h"

namespace {

QString Text(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

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

} // namespace

NetTerminalLink::NetTerminalLink() : channel_(socket_) {}

NetTerminalLink::~NetTerminalLink()
{
    socket_.abort();
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

bool NetTerminalLink::OpenLink(const QString& address, int port)
{
    if (socket_.state() != QAbstractSocket::UnconnectedState)
        DropLink(ztp::local::kNotConnected, {});
    failure_.clear();
    stream_ = Stream::None;
    if (port < 1 || port > 65535) {
        localError_ = ztp::local::kNotConnected;
        failure_ = QStringLiteral("port %1 is out of range").arg(port);
        return false;
    }
    socket_.connectToHost(address, quint16(port));
    if (!socket_.waitForConnected(connectTimeoutMs_)) {
        DropLink(ztp::local::kNotConnected, QStringLiteral("cannot connect to %1:%2: %3")
                                                .arg(address)
                                                .arg(port)
                                                .arg(socket_.errorString()));
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
    std::string_view fields[4];
    const int count = ztp::SplitFields(line, fields, 4);
    if (count < 3 || fields[0] != "HELLO" || fields[2].size() != 2 * ztp::kNonceBytes) {
        DropLink(ztp::local::kProtocolError, QStringLiteral("not a terminal greeting"));
        return false;
    }
    if (fields[1] != ztp::kVersion) {
        DropLink(ztp::local::kProtocolError,
                 QStringLiteral("terminal speaks %1, not %2")
                     .arg(Text(fields[1]), QLatin1String(ztp::kVersion)));
        return false;
    }
    const QByteArray nonce(fields[2].data(), qsizetype(fields[2].size()));
    if (!channel_.WriteAll("AUTH " + ztp::KeyProof(key_, nonce) + '\n', readTimeoutMs_)) {
        DropLink(ztp::local::kLinkClosed, QStringLiteral("cannot send the key proof"));
        return false;
    }
    open_ = true; // ReadAnswer needs an open link
    Answer answer;
    if (!ReadAnswer(answer))
        return false;
    if (!answer.ok) {
        Refused("AUTH", answer);
        const QString why = failure_;
        DropLink(ztp::local::kNotConnected, why);
        return false;
    }
    return true;
}

void NetTerminalLink::CloseLink()
{
    if (open_) {
        // A polite goodbye; the terminal's answer is not needed to close.
        const int wait = std::min(readTimeoutMs_, 1000);
        if (stream_ != Stream::Open && channel_.WriteAll(QByteArrayLiteral("BYE\n"), wait)) {
            std::string_view line;
            channel_.ReadLine(line, wait);
        }
    }
    open_ = false;
    stream_ = Stream::None;
    socket_.abort();
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
    Answer answer;
    if (!Request("LOAD " + QByteArray::number(machine), answer))
        return false;
    stream_ = Stream::None;
    if (!answer.ok)
        return Refused("LOAD", answer);
    if (!ParseCount(answer.rest, expected_)) {
        DropLink(ztp::local::kProtocolError, QStringLiteral("LOAD answer without a count"));
        return false;
    }
    delivered_ = 0;
    stream_ = Stream::Loaded;
    return true;
}

void NetTerminalLink::FetchErrorCode(int& code)
{
    Answer answer;
    int terminalCode = 0;
    if (open_ && Request(QByteArrayLiteral("LASTERROR"), answer) && answer.ok &&
        ztp::ParseInt(answer.rest, terminalCode)) {
        code = terminalCode;
        return;
    }
    code = open_ ? lastTerminalError_ : localError_;
}

bool NetTerminalLink::Request(const QByteArray& line, Answer& answer)
{
    if (!open_) {
        if (failure_.isEmpty())
            failure_ = QStringLiteral("the link is not open");
        return false;
    }
    if (stream_ == Stream::Open && !FinishStream())
        return false;
    if (!channel_.WriteAll(line + '\n', readTimeoutMs_)) {
        DropLink(ztp::local::kLinkClosed,
                 QStringLiteral("cannot send %1 to the terminal").arg(QString::fromLatin1(line)));
        return false;
    }
    return ReadAnswer(answer);
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

bool NetTerminalLink::ReadLine(std::string_view& line, const char* what)
{
    const LineChannel::Status status = channel_.ReadLine(line, readTimeoutMs_);
    if (status == LineChannel::Status::Line)
        return true;
    DropLink(LocalCodeFor(status),
             QStringLiteral("%1 (while reading %2)")
                 .arg(QLatin1String(StatusText(status)), QLatin1String(what)));
    return false;
}

bool NetTerminalLink::Refused(const char* request, const Answer& answer)
{
    lastTerminalError_ = answer.code;
    failure_ = QStringLiteral("terminal refused %1: error %2 %3")
                   .arg(QLatin1String(request))
                   .arg(answer.code)
                   .arg(Text(answer.rest));
    return false;
}

void NetTerminalLink::DropLink(int localCode, const QString& text)
{
    localError_ = localCode;
    if (!text.isEmpty())
        failure_ = text;
    if (stream_ == Stream::Open || stream_ == Stream::Loaded)
        broken_ = true;
    open_ = false;
    stream_ = Stream::None;
    socket_.abort();
    channel_.Reset();
}
