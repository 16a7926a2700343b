// The punch stream half of NetTerminalLink: READ, the punch lines, END and
// the stream's authentication code.
#include "terminal/NetTerminalLink.h"

#include "terminal/WireText.h"

bool NetTerminalLink::NextPunch(int machine, CAttLogRec& punch)
{
    if (stream_ == Stream::Loaded && !BeginStream(machine))
        return false;
    if (stream_ != Stream::Open)
        return false;
    if (ReadStreamStep() != Step::Punch)
        return false;
    const auto& v = punch_.values;
    punch.CardNb = cards_.Text(punch_.card());
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
    // From here on every break is a broken stream (DropLink marks it).
    if (DeadlinePassed("READ") || !Send("READ " + QByteArray::number(machine)))
        return false;
    std::string_view line;
    if (!ReadLine(line, "the punch log header"))
        return false;
    std::string_view fields[2];
    qint64 count = 0;
    int value = 0;
    if (ztp::SplitFields(line, fields, 2) == 2 && fields[0] == "LOG" &&
        ztp::ParseInt(fields[1], value) && value >= 0) {
        count = value;
        if (count != announced_) {
            StreamFailure(ztp::local::kProtocolError,
                          QStringLiteral("the punch log announces %1 punches where LOAD "
                                         "announced %2")
                              .arg(count)
                              .arg(announced_));
            return false;
        }
        delivered_ = 0;
        code_.emplace(sessionKey_, ++streams_);
        code_->AddLine(line);
        stream_ = Stream::Open;
        return true;
    }
    Answer refused;
    if (ParseAnswer(line, refused) && !refused.ok) {
        Refused("READ", refused);
        broken_ = true;
        stream_ = Stream::None;
        return false;
    }
    StreamFailure(ztp::local::kProtocolError, QStringLiteral("malformed punch log header"));
    return false;
}

NetTerminalLink::Step NetTerminalLink::ReadStreamStep(QDeadlineTimer limit)
{
    std::string_view line;
    if (!ReadLine(line, delivered_ < announced_ ? "a punch" : "the end of the punch log", limit))
        return Step::Broken;
    if (delivered_ < announced_) {
        if (!ztp::ParsePunchLine(line, punch_))
            return StreamFailure(
                ztp::local::kProtocolError,
                QStringLiteral("malformed punch line after %1 punches").arg(delivered_));
        code_->AddLine(line);
        ++delivered_;
        return Step::Punch;
    }
    // END <count> <code>: the code covers the line up to its last blank.
    std::string_view fields[3];
    int count = 0;
    if (ztp::SplitFields(line, fields, 3) != 3 || fields[0] != "END" ||
        !ztp::ParseInt(fields[1], count) || count != announced_)
        return StreamFailure(
            ztp::local::kProtocolError,
            QStringLiteral("the punch log did not end after the %1 punches announced")
                .arg(announced_));
    code_->AddLine(line.substr(0, line.size() - fields[2].size() - 1));
    if (!ztp::SameProof(code_->Hex(), fields[2]))
        return StreamFailure(ztp::local::kNotAuthentic,
                             QStringLiteral("the punch log's authentication code does not "
                                            "match: it was altered on the way"));
    code_.reset();
    stream_ = Stream::Done;
    return Step::End;
}

bool NetTerminalLink::FinishStream()
{
    // Reads what the caller left of the stream so the next answer is in step,
    // for at most one read time-out in all: a terminal trickling the rest
    // would hold the caller up, so the link is dropped instead (and the
    // terminal re-enables itself as the session ends).
    const QDeadlineTimer limit(readTimeoutMs_);
    Step step = Step::Punch;
    while (step == Step::Punch)
        step = ReadStreamStep(limit);
    return step == Step::End;
}

NetTerminalLink::Step NetTerminalLink::StreamFailure(int localCode, const QString& text)
{
    // Nothing after a malformed line can be trusted: drop the link.
    broken_ = true;
    DropLink(localCode, text);
    return Step::Broken;
}
