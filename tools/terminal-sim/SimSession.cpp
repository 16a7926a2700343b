#include "SimSession.h"

#include "terminal/WireText.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

#include <cmath>
#include <cstring>

namespace {
constexpr int kSendTimeoutMs = 30000;
constexpr std::size_t kChunkBytes = 256 * 1024;
// A paced stream is sent in bursts: it waits once it is this far ahead of its
// schedule, and sends what it has before. A line per write would cost both
// ends a system call and a wake-up per punch, which a site of rate-limited
// simulators on one machine pays many times over, while a terminal's own
// processor is not ours to pay for.
constexpr qint64 kPaceBurstNs = 10 * 1000 * 1000;

QByteArray Bytes(std::string_view view)
{
    return QByteArray(view.data(), qsizetype(view.size()));
}

// Writes the year of the punch line at line (size bytes, line feed included)
// with leading zeros to 11 digits; returns the new size.
int WidenYear(char* line, int size)
{
    // P <card> <code1> <code2> <year>: the year follows the fourth blank.
    int blanks = 0;
    int at = 0;
    while (at < size && blanks < 4)
        blanks += line[at++] == ' ' ? 1 : 0;
    int digits = 0;
    while (at + digits < size && line[at + digits] >= '0' && line[at + digits] <= '9')
        ++digits;
    const int zeros = 11 - digits;
    if (zeros <= 0)
        return size;
    std::memmove(line + at + zeros, line + at, std::size_t(size - at));
    std::memset(line + at, '0', std::size_t(zeros));
    return size + zeros;
}

bool IsNonce(std::string_view text)
{
    unsigned char bytes[ztp::kNonceBytes];
    return ztp::FromHex(text, bytes, ztp::kNonceBytes);
}
} // namespace

SimSession::SimSession(const SimOptions& options, PunchSource& punches, TerminalState& state,
                       QTcpSocket& socket)
    : options_(options), punches_(punches), state_(state), socket_(socket), transport_(socket),
      channel_(transport_)
{
    out_.reserve(kChunkBytes + ztp::kMaxLineBytes * 8);
    if (options_.trickleMs > 0)
        pacingNs_ = options_.trickleMs * 1000000;
    else if (options_.rate > 0)
        pacingNs_ = qint64(std::llround(1e9 / options_.rate));
}

SimSession::~SimSession()
{
    // The terminal never stays disabled past the session that disabled it,
    // whether that ended with BYE, a closed connection, an idle time-out or a fault.
    state_.SetActive(true);
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
    ztp::Nonces nonces{ztp::MakeNonce(), {}};
    QByteArray greeting = "HELLO " + options_.greetingVersion.toUtf8() + ' ' + nonces.terminal;
    if (!options_.greetingExtra.isEmpty())
        greeting += ' ' + options_.greetingExtra.toUtf8();
    if (!Send(greeting))
        return false;
    std::string_view line;
    if (channel_.ReadLine(line, options_.idleTimeoutMs) != LineChannel::Status::Line)
        return false;
    // AUTH <client nonce> <client proof>; anything else first ends the session.
    std::string_view fields[4];
    const int count = ztp::SplitFields(line, fields, 4);
    if (fields[0] != "AUTH") {
        Refuse(ztp::err::kNotAuthenticated, "not authenticated");
        return false;
    }
    if (count != 3 || !IsNonce(fields[1])) {
        Refuse(ztp::err::kBadRequest, "expected AUTH <nonce> <proof>");
        return false;
    }
    nonces.client = Bytes(fields[1]);
    if (options_.impostor) {
        // Knows nothing of the key: takes any proof and answers with a guess.
        const int guess = options_.key + 1;
        sessionKey_ = ztp::MakeSessionKey(guess, nonces);
        return Send("OK " + ztp::TerminalProof(guess, nonces));
    }
    if (options_.wrongKey || !ztp::SameProof(ztp::ClientProof(options_.key, nonces), fields[2])) {
        Refuse(ztp::err::kBadKey, "bad key");
        return false;
    }
    sessionKey_ = ztp::MakeSessionKey(options_.key, nonces);
    return Send("OK " + ztp::TerminalProof(options_.key, nonces));
}

bool SimSession::Serve(std::string_view request)
{
    // The longest request: SETTIME <machine>, six values and a code.
    std::string_view f[10];
    const int n = ztp::SplitFields(request, f, 10);
    const std::string_view word = f[0];
    if (word == "BYE") {
        Send("OK");
        return false;
    }
    if (word == "AUTH")
        return Refuse(ztp::err::kBadRequest, "already authenticated");
    if (word == "LASTERROR" && n == 1)
        return Send("OK " + QByteArray::number(lastError_));
    // The client's keep-alive: an answer and nothing else, the last error kept.
    if (word == "PING" && n == 1)
        return Send("OK");
    const bool clockRequest = word == "TIME" || word == "SETTIME";
    if (clockRequest)
        ++clockRequests_; // counted whatever their answer
    const bool known =
        clockRequest || word == "PREPARE" || word == "ACTIVE" || word == "LOAD" || word == "READ";
    if (!known)
        return Refuse(ztp::err::kUnknownRequest, "unknown request");
    const int wanted = word == "ACTIVE" ? 3 : word == "SETTIME" ? 9 : 2;
    if (n != wanted || (word == "ACTIVE" && f[2] != "0" && f[2] != "1"))
        return Refuse(ztp::err::kBadRequest, "wrong arguments");
    if (!MachineMatches(f[1]))
        return Refuse(ztp::err::kUnknownMachine, "unknown machine");
    if (word == "PREPARE")
        return options_.prepareRefused ? Refuse(ztp::err::kNotPrepared, "not prepared")
                                       : Send("OK");
    if (word == "ACTIVE") {
        if (options_.enableRefused && f[2] == "1")
            return Refuse(ztp::err::kBusy, "busy");
        state_.SetActive(f[2] == "1");
        return Send("OK");
    }
    if (word == "TIME")
        return SendTime();
    if (word == "SETTIME")
        return SetTime(f + 2);
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

QByteArray SimSession::ClockCode(const char* word, const QByteArray& fields) const
{
    return ztp::SessionCode(sessionKey_, QByteArray(word) + ' ' +
                                             QByteArray::number(clockRequests_) + ' ' + fields);
}

bool SimSession::SendTime()
{
    const QDateTime now = state_.Now();
    const QDate day = now.date();
    const QTime time = now.time();
    QByteArray fields;
    for (const int value :
         {day.year(), day.month(), day.day(), time.hour(), time.minute(), time.second()})
        fields += (fields.isEmpty() ? "" : " ") + QByteArray::number(value);
    // A forged answer: the code of another reading.
    const QByteArray code = ClockCode("TIME", options_.forgeClock ? fields + '0' : fields);
    return Send("OK " + fields + ' ' + code);
}

bool SimSession::SetTime(const std::string_view* values)
{
    int v[6] = {};
    QByteArray fields;
    for (int i = 0; i < 6; ++i) {
        if (!ztp::ParseInt(values[i], v[i]))
            return Refuse(ztp::err::kBadRequest, "wrong arguments");
        fields += (i == 0 ? "" : " ") + QByteArray::number(v[i]);
    }
    if (!ztp::SameProof(ClockCode("SETTIME", fields), values[6]))
        return Refuse(ztp::err::kBadCode, "bad code");
    const QDateTime time(QDate(v[0], v[1], v[2]), QTime(v[3], v[4], v[5]), Qt::UTC);
    if (!QDate::isValid(v[0], v[1], v[2]) || !QTime::isValid(v[3], v[4], v[5]) || !time.isValid())
        return Refuse(ztp::err::kBadRequest, "not a valid time");
    state_.SetNow(time);
    return Send("OK");
}

bool SimSession::MachineMatches(std::string_view field)
{
    int machine = 0;
    return ztp::ParseInt(field, machine) && machine == options_.machine;
}

bool SimSession::SendPunches()
{
    const qint64 available = punches_.Rewind();
    const qint64 count = options_.logCount >= 0 ? options_.logCount : available;
    ztp::StreamCode code(sessionKey_, ++streams_);
    AppendLine("LOG " + QByteArray::number(count), code);
    std::string_view card;
    std::array<int, ztp::kPunchValues> values{};
    qint64 sent = 0;
    streamTimer_.start();
    for (; sent < count && punches_.Next(card, values); ++sent) {
        if (!InjectFaults(sent) || !Pace(sent))
            return false;
        const std::size_t at = out_.size();
        out_.resize(at + ztp::kMaxLineBytes);
        if (sent == options_.badCardAfter)
            card = std::string_view("\xC3(", 2); // a lead byte without its follower
        int size = ztp::FormatPunchLine(card, values, out_.data() + at, ztp::kMaxLineBytes);
        if (sent == options_.wideIntAfter && size > 0)
            size = WidenYear(out_.data() + at, size);
        code.AddLine(std::string_view(out_.data() + at, std::size_t(std::max(size, 1) - 1)));
        if (sent == options_.forgeAfter) {
            // Shifts the punch by an hour after its line went into the code.
            values[ztp::kHour] = (values[ztp::kHour] + 1) % 24;
            size = ztp::FormatPunchLine(card, values, out_.data() + at, ztp::kMaxLineBytes);
        }
        out_.resize(at + std::size_t(std::max(size, 0)));
        if (options_.dripMs > 0 && !Drip(at))
            return false;
        if (out_.size() >= kChunkBytes && !Flush())
            return false;
    }
    if (!InjectFaults(sent)) // also between the last punch and the end marker
        return false;
    const QByteArray end = "END " + QByteArray::number(count);
    code.AddLine(std::string_view(end.constData(), std::size_t(end.size())));
    Append(end + ' ' + code.Hex() + '\n');
    return Flush();
}

bool SimSession::Drip(std::size_t lineStart)
{
    const std::string line = out_.substr(lineStart);
    out_.resize(lineStart);
    if (!Flush())
        return false;
    for (const char byte : line)
        if (!channel_.WriteAll(&byte, 1, kSendTimeoutMs) || !Pause(options_.dripMs))
            return false;
    return true;
}

bool SimSession::Pace(qint64 sent)
{
    if (pacingNs_ <= 0)
        return true;
    const qint64 aheadNs = sent * pacingNs_ - streamTimer_.nsecsElapsed();
    if (aheadNs < kPaceBurstNs)
        return true;
    return Flush() && Pause((aheadNs + 999999) / 1000000);
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

void SimSession::AppendLine(const QByteArray& line, ztp::StreamCode& code)
{
    code.AddLine(std::string_view(line.constData(), std::size_t(line.size())));
    Append(line + '\n');
}

bool SimSession::Send(const QByteArray& line)
{
    Append(line + '\n');
    return Flush();
}

bool SimSession::Refuse(int code, const char* text)
{
    lastError_ = code;
    const QByteArray shown =
        options_.errorText.isEmpty() ? QByteArray(text) : options_.errorText.toUtf8();
    return Send("ERR " + QByteArray::number(code) + ' ' + shown);
}

bool SimSession::Flush()
{
    const bool ok = channel_.WriteAll(out_.data(), qsizetype(out_.size()), kSendTimeoutMs);
    out_.clear(); // keeps the capacity
    return ok;
}

bool SimSession::Pause(qint64 ms)
{
    const QDeadlineTimer until(ms);
    while (!until.hasExpired()) {
        if (socket_.state() != QAbstractSocket::ConnectedState)
            return false;
        // Returns early when the client sends (left for later) or leaves.
        socket_.waitForReadyRead(WaitMs(until));
    }
    return socket_.state() == QAbstractSocket::ConnectedState;
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
