#pragma once

#include "store/Records.h"

#include <QDeadlineTimer>
#include <QString>

// A terminal's clock reading: its wall-clock time as the terminal keeps it
// (no time zone), to the second, the values as sent.
struct TerminalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;

    bool operator==(const TerminalTime&) const = default;
};

// The machine number of every request: a link reaches one terminal.
inline constexpr int kMachineNumber = 1;

// The terminal control: the eight operations through which the program talks
// to a fingerprint terminal, with what the program needs besides (whether the
// link is open, a deadline, the terminal's clock, what went wrong). Every call
// blocks until the terminal answered or a time-out passed. The terminal is
// addressed by machine number (always 1).
class CTerminalLink {
public:
    virtual ~CTerminalLink() = default;

    // Opens the link (connect, greeting, key check); true when it is usable.
    virtual bool OpenLink(const QString& address, int port) = 0;
    virtual void CloseLink() = 0;
    // True while the link is open: from a successful OpenLink until CloseLink,
    // or until the link was lost or dropped after a fault.
    virtual bool IsOpen() const = 0;
    // The key that OpenLink proves to the terminal.
    virtual void SetLinkKey(int key) = 0;
    // Looks after an open link between requests: notices that the terminal
    // ended it (the link is then closed, LastFailure saying so), and keeps it
    // from ending a link that is only idle by asking it now and then. True
    // while the link is open. Called between operations only.
    virtual bool TendIdle() = 0;
    // Every later call ends by this deadline at the latest, whatever its own
    // time-outs allow (the run's limit for one device).
    virtual void SetDeadline(QDeadlineTimer deadline) = 0;

    // First call of a download; false means no punch is to be fetched.
    virtual bool PreparePunchRead(int machine) = 0;
    // Disables (false) or re-enables (true) the terminal's keypad and reader.
    virtual bool SetTerminalActive(int machine, bool active) = 0;
    // Has the terminal take a snapshot of its punch log for NextPunch.
    virtual bool LoadPunchLog(int machine) = 0;
    // The next punch of the loaded log into punch (card number, codes, date and
    // time; Seq is the caller's to count); false when there is none. False also
    // ends a stream that broke: StreamBroken() tells the two apart.
    virtual bool NextPunch(int machine, CAttLogRec& punch) = 0;
    // The terminal's code for the last refused request (negative: the link's own
    // code when the terminal could not be asked).
    virtual void FetchErrorCode(int& code) = 0;
    // The terminal's clock, read and set; false when the terminal refused or
    // could not be asked (LastFailure says why). Punches are never shifted by it.
    virtual bool ReadClock(int machine, TerminalTime& time) = 0;
    virtual bool SetClock(int machine, const TerminalTime& time) = 0;
    // How many punches the terminal announced for the log of the last
    // LoadPunchLog; -1 when it announced none.
    virtual qint64 AnnouncedCount() const { return -1; }

    // True when the last NextPunch returned false because the punch stream was
    // cut short or malformed rather than complete.
    virtual bool StreamBroken() const = 0;
    // What went wrong last, in English, for messages; empty when nothing did.
    virtual QString LastFailure() const = 0;
};
