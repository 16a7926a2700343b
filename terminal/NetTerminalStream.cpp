// The punch stream half of NetTerminalLink: READ, the punch lines, END.
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
    stream_ = Stream::None;
    if (!channel_.WriteAll("READ " + QByteArray::number(machine) + '\n', readTimeoutMs_)) {
        broken_ = true;
        DropLink(ztp::local::kLinkClosed, QStringLiteral("cannot send READ to the terminal"));
        return false;
    }
    stream_ = Stream::Loaded; // a break from here on is a broken stream
    std::string_view line;
    if (!ReadLine(line, "the punch log header"))
        return false;
    std::string_view fields[2];
    int value = 0;
    if (ztp::SplitFields(line, fields, 2) == 2 && fields[0] == "LOG" &&
        ztp::ParseInt(fields[1], value) && value >= 0) {
        expected_ = value;
        delivered_ = 0;
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
    StreamFailure(QStringLiteral("malformed punch log header"));
    return false;
}

NetTerminalLink::Step NetTerminalLink::ReadStreamStep()
{
    std::string_view line;
    if (!ReadLine(line, delivered_ < expected_ ? "a punch" : "the end of the punch log"))
        return Step::Broken;
    if (delivered_ < expected_) {
        if (!ztp::ParsePunchLine(line, punch_))
            return StreamFailure(
                QStringLiteral("malformed punch line after %1 punches").arg(delivered_));
        ++delivered_;
        return Step::Punch;
    }
    std::string_view fields[3];
    int count = 0;
    if (ztp::SplitFields(line, fields, 3) == 2 && fields[0] == "END" &&
        ztp::ParseInt(fields[1], count) && count == expected_) {
        stream_ = Stream::Done;
        return Step::End;
    }
    return StreamFailure(
        QStringLiteral("the punch log did not end after the %1 punches announced").arg(expected_));
}

bool NetTerminalLink::FinishStream()
{
    // Reads what the caller left of the stream so the next answer is in step.
    Step step = Step::Punch;
    while (step == Step::Punch)
        step = ReadStreamStep();
    return step == Step::End;
}

NetTerminalLink::Step NetTerminalLink::StreamFailure(const QString& text)
{
    // Nothing after a malformed line can be trusted: drop the link.
    broken_ = true;
    DropLink(ztp::local::kProtocolError, text);
    return Step::Broken;
}
