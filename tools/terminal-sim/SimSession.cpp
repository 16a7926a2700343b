#include "SimSession.h"

#include "terminal/LinkAuth.h"
#include "terminal/WireText.h"

#include <QElapsedTimer>
#include <QTcpSocket>

namespace {
constexpr int kSendTimeoutMs = 30000;
constexpr std::size_t kChunkBytes = 256 * 1024;
} // namespace

SimSession::SimSession(const SimOptions& options, PunchSource& punches, QTcpSocket& socket)
    : options_(options), punches_(punches), socket_(socket), channel_(socket)
{
    out_.reserve(kChunkBytes + ztp::kMaxLineBytes * 8);
}

void SimSession::Run()
{
    if (options_.stallGreeting) {
        Stall();
        return;
    }
    if (!Authenticate())
        return;
    while (true) {
        std::string_view request;
        const LineChannel::Status status = channel_.ReadLine(request, options_.idleTimeoutMs);
        if (status != LineChannel::Status::Line)
            return;
        if (!Serve(request))
            return;
    }
}

bool SimSession::Authenticate()
{
    const QByteArray nonce = ztp::MakeNonce();
    if (!Send("HELLO " + QByteArray(ztp::kVersion) + ' ' + nonce))
        return false;
    std::string_view line;
    if (channel_.ReadLine(line, options_.idleTimeoutMs) != LineChannel::Status::Line)
        return false;
    std::string_view fields[2];
    const bool wellFormed = ztp::SplitFields(line, fields, 2) == 2 && fields[0] == "AUTH";
    const QByteArray proof =
        wellFormed ? QByteArray(fields[1].data(), qsizetype(fields[1].size())) : QByteArray();
    if (!wellFormed) {
        Refuse(ztp::err::kBadRequest, "expected AUTH <proof>");
        return false;
    }
    if (options_.wrongKey || !ztp::SameProof(proof, ztp::KeyProof(options_.key, nonce))) {
        Refuse(ztp::err::kBadKey, "bad key");
        return false;
    }
    return Send("OK");
}

bool SimSession::Serve(std::string_view request)
{
    std::string_view f[3];
    const int n = ztp::SplitFields(request, f, 3);
    if (n < 1)
        return Refuse(ztp::err::kBadRequest, "too many fields");
    const std::string_view word = f[0];
    if (word == "BYE") {
        Send("OK");
        return false;
    }
    if (word == "LASTERROR" && n == 1)
        return Send("OK " + QByteArray::number(lastError_));
    const bool known = word == "PREPARE" || word == "ACTIVE" || word == "LOAD" || word == "READ";
    if (!known)
        return Refuse(ztp::err::kUnknownRequest, "unknown request");
    const int wanted = word == "ACTIVE" ? 3 : 2;
    if (n != wanted || (word == "ACTIVE" && f[2] != "0" && f[2] != "1"))
        return Refuse(ztp::err::kBadRequest, "wrong arguments");
    if (!MachineMatches(f[1]))
        return Refuse(ztp::err::kUnknownMachine, "unknown machine");
    if (word == "PREPARE")
        return options_.prepareRefused ? Refuse(ztp::err::kNotPrepared, "not prepared")
                                       : Send("OK");
    if (word == "ACTIVE")
        return Send("OK");
    if (word == "LOAD") {
        if (options_.noData)
            return Refuse(*options_.noData, "no data");
        loaded_ = true;
        return Send("OK " + QByteArray::number(punches_.Rewind()));
    }
    if (!loaded_)
        return Refuse(ztp::err::kNotLoaded, "log not loaded");
    loaded_ = false;
    return SendPunches();
}

bool SimSession::MachineMatches(std::string_view field)
{
    int machine = 0;
    return ztp::ParseInt(field, machine) && machine == options_.machine;
}

bool SimSession::SendPunches()
{
    const qint64 count = punches_.Rewind();
    Append("LOG " + QByteArray::number(count) + '\n');
    std::string_view card;
    std::array<int, ztp::kPunchValues> values{};
    qint64 sent = 0;
    for (; punches_.Next(card, values); ++sent) {
        if (!InjectFaults(sent))
            return false;
        const std::size_t at = out_.size();
        out_.resize(at + ztp::kMaxLineBytes);
        const int size = ztp::FormatPunchLine(card, values, out_.data() + at, ztp::kMaxLineBytes);
        out_.resize(at + std::size_t(std::max(size, 0)));
        if (out_.size() >= kChunkBytes && !Flush())
            return false;
    }
    if (!InjectFaults(sent)) // also between the last punch and the end marker
        return false;
    Append("END " + QByteArray::number(count) + '\n');
    return Flush();
}

bool SimSession::InjectFaults(qint64 sent)
{
    if (sent == options_.closeAfter) {
        Flush();
        socket_.disconnectFromHost();
        return false;
    }
    if (sent == options_.stallAfter) {
        Flush();
        Stall();
        return false;
    }
    if (sent == options_.garbageAfter)
        Append(QByteArrayLiteral("P \x01\xfe garbage \x7f\n"));
    if (sent == options_.oversizedAfter)
        Append(QByteArray(8 * ztp::kMaxLineBytes, 'P') + '\n');
    return true;
}

void SimSession::RunRawStream()
{
    punches_.Rewind();
    SendPunches();
    socket_.disconnectFromHost();
    if (socket_.state() != QAbstractSocket::UnconnectedState)
        socket_.waitForDisconnected(kSendTimeoutMs);
}

void SimSession::Append(const QByteArray& bytes)
{
    out_.append(bytes.constData(), std::size_t(bytes.size()));
}

bool SimSession::Send(const QByteArray& line)
{
    Append(line + '\n');
    return Flush();
}

bool SimSession::Refuse(int code, const char* text)
{
    lastError_ = code;
    return Send("ERR " + QByteArray::number(code) + ' ' + text);
}

bool SimSession::Flush()
{
    const bool ok = channel_.WriteAll(out_.data(), qsizetype(out_.size()), kSendTimeoutMs);
    out_.clear(); // keeps the capacity
    return ok;
}

void SimSession::Stall()
{
    // Say nothing more; wait for the client to give up and close.
    QElapsedTimer timer;
    timer.start();
    while (socket_.state() == QAbstractSocket::ConnectedState &&
           timer.elapsed() < options_.stallLimitMs) {
        if (socket_.waitForReadyRead(200))
            socket_.readAll();
    }
}
