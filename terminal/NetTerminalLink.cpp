#include "terminal/NetTerminalLink.h"

#include "terminal/LinkTransport.h"
#include "terminal/WireText.h"

#include <algorithm>

namespace {

// A count field: a non-negative integer.
bool ParseCount(std::string_view field, qint64& count)
{
    int value = 0;
    if (!ztp::ParseInt(field, value) || value < 0)
        return false;
    count = value;
    return true;
}

QByteArray TimeFields(const TerminalTime& t)
{
    QByteArray fields;
    for (const int value : {t.year, t.month, t.day, t.hour, t.minute, t.second})
        fields += (fields.isEmpty() ? "" : " ") + QByteArray::number(value);
    return fields;
}

} // namespace

NetTerminalLink::NetTerminalLink() : NetTerminalLink(std::make_unique<SocketTransport>()) {}

NetTerminalLink::NetTerminalLink(std::unique_ptr<LinkTransport> transport)
    : transport_(std::move(transport)), session_(*transport_)
{
}

NetTerminalLink::~NetTerminalLink()
{
    transport_->Abort();
}

bool NetTerminalLink::OpenLink(const QString& address, int port)
{
    log_ = Log::None;
    stream_.Reset();
    announced_ = -1;
    streams_ = 0;
    clockRequests_ = 0;
    ownFault_ = false;
    return session_.Open(address, port, key_);
}

void NetTerminalLink::CloseLink()
{
    session_.Close(log_ != Log::Streaming);
    log_ = Log::None;
    stream_.Reset();
}

bool NetTerminalLink::Request(const QByteArray& line, LinkSession::Answer& answer)
{
    ownFault_ = false;
    if (log_ == Log::Streaming && !FinishStream())
        return false;
    if (session_.Request(line, answer))
        return true;
    if (log_ != Log::None) // a log loaded or under way is lost with the session
        broken_ = true;
    log_ = Log::None;
    return false;
}

bool NetTerminalLink::TendIdle()
{
    // A stream left unfinished (a cancelled download) has its rest waiting:
    // the next request reads it first.
    if (log_ != Log::Streaming && !session_.StillOpen())
        return false;
    if (session_.IdleMs() < keepAliveMs_)
        return true;
    // Any answer keeps the link: a terminal without PING refuses it (ERR 1),
    // which counts as a request all the same.
    LinkSession::Answer answer;
    Request(QByteArrayLiteral("PING"), answer);
    return session_.IsOpen();
}

bool NetTerminalLink::PreparePunchRead(int machine)
{
    LinkSession::Answer answer;
    if (!Request("PREPARE " + QByteArray::number(machine), answer))
        return false;
    return answer.ok || session_.Refused("PREPARE", answer);
}

bool NetTerminalLink::SetTerminalActive(int machine, bool active)
{
    LinkSession::Answer answer;
    if (!Request("ACTIVE " + QByteArray::number(machine) + (active ? " 1" : " 0"), answer))
        return false;
    return answer.ok || session_.Refused("ACTIVE", answer);
}

bool NetTerminalLink::LoadPunchLog(int machine)
{
    broken_ = false;
    announced_ = -1;
    LinkSession::Answer answer;
    if (!Request("LOAD " + QByteArray::number(machine), answer))
        return false;
    log_ = Log::None;
    if (!answer.ok)
        return session_.Refused("LOAD", answer);
    qint64 count = 0;
    if (!ParseCount(answer.rest, count)) {
        session_.Drop(ztp::local::kProtocolError, QStringLiteral("LOAD answer without a count"));
        return false;
    }
    announced_ = count;
    if (count > punchLimit_) {
        // The link stays in step (nothing was read yet); the caller may go on using it.
        ownFault_ = true;
        ownCode_ = ztp::local::kTooManyPunches;
        session_.SetFailure(QStringLiteral("the terminal announces %1 punches, more than the "
                                           "limit of %2 for one download")
                                .arg(count)
                                .arg(punchLimit_));
        return false;
    }
    log_ = Log::Loaded;
    return true;
}

bool NetTerminalLink::NextPunch(int machine, CAttLogRec& punch)
{
    if (log_ == Log::Loaded && !BeginStream(machine))
        return false;
    if (log_ != Log::Streaming)
        return false;
    if (Advance(QDeadlineTimer(QDeadlineTimer::Forever)) != PunchStream::Step::Punch)
        return false;
    const ztp::WirePunch& wire = stream_.Punch();
    const auto& v = wire.values;
    static_assert(sizeof wire.cardBytes >= CardTextCache::kKeptBytes);
    punch.CardNb = cards_.Text(wire.cardBytes.data(), wire.cardSize);
    punch.Code1 = v[ztp::kCode1];
    punch.Code2 = v[ztp::kCode2];
    punch.Year = v[ztp::kYear];
    punch.Month = v[ztp::kMonth];
    punch.Day = v[ztp::kDay];
    punch.Hour = v[ztp::kHour];
    punch.Minute = v[ztp::kMinute];
    punch.Second = v[ztp::kSecond];
    punch.Code3 = v[ztp::kCode3];
    return true;
}

bool NetTerminalLink::BeginStream(int machine)
{
    // From here on every way the stream ends early is a broken stream.
    broken_ = true;
    log_ = Log::None;
    if (session_.DeadlinePassed("READ") || !session_.Send("READ " + QByteArray::number(machine)))
        return false;
    std::string_view line;
    if (!session_.ReadLine(line, "the punch log header", QDeadlineTimer(QDeadlineTimer::Forever)))
        return false;
    LinkSession::Answer refused;
    if (LinkSession::ParseAnswer(line, refused) && !refused.ok)
        return session_.Refused("READ", refused);
    // Streams are counted as they begin, whatever becomes of them.
    if (!stream_.Begin(line, session_.Key(), ++streams_, announced_))
        return StreamFailed();
    broken_ = false;
    log_ = Log::Streaming;
    return true;
}

bool NetTerminalLink::FinishStream()
{
    // Reads what the caller left of the stream so the next answer is in step,
    // briefly: the caller gave the stream up (an operator who pressed Cancel
    // waits for this), and a terminal with much of it left to send would hold
    // them up, so the link is dropped instead (and the terminal enables
    // itself as the session ends).
    const QDeadlineTimer limit(std::min(session_.ReadTimeoutMs(), kFinishStreamMs));
    PunchStream::Step step = PunchStream::Step::Punch;
    while (step == PunchStream::Step::Punch)
        step = Advance(limit);
    return step == PunchStream::Step::End;
}

PunchStream::Step NetTerminalLink::Advance(QDeadlineTimer limit)
{
    const PunchStream::Step step = stream_.Next(session_, limit);
    if (step == PunchStream::Step::End)
        log_ = Log::None;
    else if (step == PunchStream::Step::Broken)
        StreamFailed();
    return step;
}

bool NetTerminalLink::StreamFailed()
{
    broken_ = true;
    log_ = Log::None;
    const PunchStream::Fault& fault = stream_.LastFault();
    if (fault.localCode != 0)
        session_.Drop(fault.localCode, fault.text);
    else if (session_.IsOpen()) // cannot be: a source that fails drops the session
        session_.Drop(ztp::local::kProtocolError, QStringLiteral("the punch log broke off"));
    return false;
}

void NetTerminalLink::FetchErrorCode(int& code)
{
    if (ownFault_) {
        code = ownCode_;
        return;
    }
    if (!session_.IsOpen()) {
        code = session_.LocalError();
        return;
    }
    LinkSession::Answer answer;
    int terminalCode = 0;
    if (Request(QByteArrayLiteral("LASTERROR"), answer) && answer.ok &&
        ztp::ParseInt(answer.rest, terminalCode)) {
        code = terminalCode;
        return;
    }
    code = session_.IsOpen() ? session_.LastRefusal() : session_.LocalError();
}

QByteArray NetTerminalLink::ClockCode(const char* word, const QByteArray& fields) const
{
    return ztp::SessionCode(session_.Key(), QByteArray(word) + ' ' +
                                                QByteArray::number(clockRequests_) + ' ' + fields);
}

bool NetTerminalLink::ReadClock(int machine, TerminalTime& time)
{
    LinkSession::Answer answer;
    ++clockRequests_;
    if (!Request("TIME " + QByteArray::number(machine), answer))
        return false;
    if (!answer.ok)
        return session_.Refused("TIME", answer);
    // OK <year> <month> <day> <hour> <minute> <second> <code>
    std::string_view fields[8];
    TerminalTime read;
    int* values[] = {&read.year, &read.month, &read.day, &read.hour, &read.minute, &read.second};
    bool wellFormed = ztp::SplitFields(answer.rest, fields, 8) == 7;
    for (int i = 0; wellFormed && i < 6; ++i)
        wellFormed = ztp::ParseInt(fields[i], *values[i]);
    if (!wellFormed) {
        session_.Drop(ztp::local::kProtocolError,
                      QStringLiteral("malformed answer to TIME from the terminal"));
        return false;
    }
    if (!ztp::SameProof(ClockCode("TIME", TimeFields(read)), fields[6])) {
        session_.Drop(ztp::local::kNotAuthentic,
                      QStringLiteral("the terminal's time reading did not authenticate: it was "
                                     "altered on the way or not sent by the terminal"));
        return false;
    }
    time = read;
    return true;
}

bool NetTerminalLink::SetClock(int machine, const TerminalTime& time)
{
    LinkSession::Answer answer;
    ++clockRequests_;
    const QByteArray fields = TimeFields(time);
    if (!Request("SETTIME " + QByteArray::number(machine) + ' ' + fields + ' ' +
                     ClockCode("SETTIME", fields),
                 answer))
        return false;
    return answer.ok || session_.Refused("SETTIME", answer);
}
