#include "FakeTerminalLink.h"

#include <QDate>
#include <QTime>

bool FakeTerminalLink::OpenLink(const QString& address, int port)
{
    calls.append(QStringLiteral("open %1:%2").arg(address).arg(port));
    if (neverOpens || refusedOpens > 0) {
        --refusedOpens;
        failure_ = QStringLiteral("refused");
        return false;
    }
    open = true;
    return true;
}

void FakeTerminalLink::CloseLink()
{
    calls.append(QStringLiteral("close"));
    open = false;
    active = true;
    loaded_ = false;
}

void FakeTerminalLink::SetLinkKey(int newKey)
{
    calls.append(QStringLiteral("key %1").arg(newKey));
    key = newKey;
}

bool FakeTerminalLink::TendIdle()
{
    if (open && endsIdleLink) {
        calls.append(QStringLiteral("ended by the terminal"));
        open = false;
        active = true;
        loaded_ = false;
        failure_ = QStringLiteral("the terminal ended the link");
    }
    return open;
}

bool FakeTerminalLink::PreparePunchRead(int)
{
    calls.append(QStringLiteral("prepare"));
    return open && prepareAnswer;
}

bool FakeTerminalLink::SetTerminalActive(int, bool on)
{
    calls.append(QStringLiteral("active %1").arg(on ? 1 : 0));
    if (!open)
        return false;
    active = on;
    return true;
}

bool FakeTerminalLink::LoadPunchLog(int)
{
    calls.append(QStringLiteral("load"));
    broken_ = false;
    announced_ = -1;
    if (!open || loadRefused)
        return false;
    announced_ = announce.value_or(punches.size());
    loaded_ = true;
    next_ = 0;
    return true;
}

bool FakeTerminalLink::NextPunch(int, CAttLogRec& punch)
{
    if (!loaded_)
        return false;
    if (breakAfter >= 0 && next_ == breakAfter) {
        broken_ = true;
        failure_ = QStringLiteral("the terminal closed the connection");
        loaded_ = false;
        open = false;
        active = true;
        return false;
    }
    if (next_ == punches.size()) {
        loaded_ = false;
        return false;
    }
    const int seq = punch.Seq; // counting is the caller's
    punch = punches.at(next_++);
    punch.Seq = seq;
    return true;
}

void FakeTerminalLink::FetchErrorCode(int& code)
{
    calls.append(QStringLiteral("error code"));
    code = loadRefused.value_or(0);
}

bool FakeTerminalLink::ReadClock(int, TerminalTime& time)
{
    calls.append(QStringLiteral("time"));
    if (!open || !clock)
        return false;
    time = *clock;
    return true;
}

bool FakeTerminalLink::SetClock(int, const TerminalTime& time)
{
    calls.append(QStringLiteral("set time"));
    if (!open)
        return false;
    clock = time;
    return true;
}

CAttLogRec FakeTerminalLink::Punch(const QString& card, const QDate& day, const QTime& time)
{
    return CAttLogRec{0,
                      card,
                      1,
                      0,
                      0,
                      day.year(),
                      day.month(),
                      day.day(),
                      time.hour(),
                      time.minute(),
                      time.second()};
}
