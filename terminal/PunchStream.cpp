#include "terminal/PunchStream.h"

#include "terminal/Protocol.h"
#include "terminal/WireText.h"

bool PunchStream::Begin(std::string_view logLine, const ztp::SessionKey& key, qint64 number,
                        qint64 announced)
{
    Reset();
    std::string_view fields[3];
    int count = 0;
    if (ztp::SplitFields(logLine, fields, 3) != 2 || fields[0] != "LOG" ||
        !ztp::ParseInt(fields[1], count) || count < 0) {
        Broken(ztp::local::kProtocolError, QStringLiteral("malformed punch log header"));
        return false;
    }
    if (count != announced) {
        Broken(ztp::local::kProtocolError,
               QStringLiteral("the punch log announces %1 punches where LOAD announced %2")
                   .arg(count)
                   .arg(announced));
        return false;
    }
    announced_ = announced;
    code_.emplace(key, number);
    code_->AddLine(logLine);
    return true;
}

PunchStream::Step PunchStream::Next(LineSource& lines, QDeadlineTimer limit)
{
    if (!code_)
        return Step::Broken;
    std::string_view line;
    const bool punchDue = delivered_ < announced_;
    if (!lines.ReadLine(line, punchDue ? "a punch" : "the end of the punch log", limit)) {
        code_.reset();
        fault_ = Fault();
        return Step::Broken;
    }
    if (punchDue) {
        if (!ztp::ParsePunchLine(line, punch_))
            return Broken(ztp::local::kProtocolError,
                          QStringLiteral("malformed punch line after %1 punches").arg(delivered_));
        code_->AddLine(line);
        ++delivered_;
        return Step::Punch;
    }
    // END <count> <code>: the code covers the line up to its last blank.
    std::string_view fields[4];
    int count = 0;
    if (ztp::SplitFields(line, fields, 4) != 3 || fields[0] != "END" ||
        !ztp::ParseInt(fields[1], count) || count != announced_)
        return Broken(ztp::local::kProtocolError,
                      QStringLiteral("the punch log did not end after the %1 punches announced")
                          .arg(announced_));
    code_->AddLine(line.substr(0, line.size() - fields[2].size() - 1));
    if (!ztp::SameProof(code_->Hex(), fields[2]))
        return Broken(ztp::local::kNotAuthentic,
                      QStringLiteral("the punch log's authentication code did not match: it was "
                                     "altered on the way or not sent by the terminal"));
    code_.reset();
    return Step::End;
}

void PunchStream::Reset()
{
    code_.reset();
    announced_ = 0;
    delivered_ = 0;
    fault_ = Fault();
}

PunchStream::Step PunchStream::Broken(int localCode, const QString& text)
{
    code_.reset();
    fault_ = Fault{localCode, text};
    return Step::Broken;
}
