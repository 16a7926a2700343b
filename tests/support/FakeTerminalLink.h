#pragma once

#include "platform/Progress.h"
#include "terminal/CTerminalLink.h"

#include <QDate>
#include <QList>
#include <QStringList>
#include <QTime>

#include <optional>

// A terminal link that plays a script instead of talking to a terminal: for
// unit tests of the connection, the download and the run control. Every call
// is recorded ("open 10.0.0.5:4370", "active 0", ...) and the terminal's
// keypad state is tracked, so a test can check that no path leaves it off. As
// a terminal of our protocol does, it enables itself when the link is lost or
// closed.
class FakeTerminalLink : public CTerminalLink {
public:
    // The script.
    QList<CAttLogRec> punches;         // the log NextPunch hands out
    int refusedOpens = 0;              // OpenLink fails this many times before it succeeds
    bool neverOpens = false;           // OpenLink always fails
    bool prepareAnswer = true;         // PreparePunchRead's result
    std::optional<int> loadRefused;    // LoadPunchLog fails, FetchErrorCode then gives this code
    int breakAfter = -1;               // the stream breaks after this many punches (-1: never)
    std::optional<qint64> announce;    // the count LoadPunchLog announces (default: punches.size())
    std::optional<TerminalTime> clock; // what ReadClock tells; refused when empty
    bool endsIdleLink = false;         // the terminal ends the link before the next TendIdle

    // What happened.
    QStringList calls;
    int key = 0;
    QDeadlineTimer deadline{QDeadlineTimer::Forever};
    bool open = false;
    bool active = true; // the terminal takes punches

    bool OpenLink(const QString& address, int port) override;
    void CloseLink() override;
    bool IsOpen() const override { return open; }
    void SetLinkKey(int newKey) override;
    bool TendIdle() override;
    void SetDeadline(QDeadlineTimer newDeadline) override { deadline = newDeadline; }
    bool PreparePunchRead(int machine) override;
    bool SetTerminalActive(int machine, bool on) override;
    bool LoadPunchLog(int machine) override;
    bool NextPunch(int machine, CAttLogRec& punch) override;
    void FetchErrorCode(int& code) override;
    bool ReadClock(int machine, TerminalTime& time) override;
    bool SetClock(int machine, const TerminalTime& time) override;
    qint64 AnnouncedCount() const override { return announced_; }
    bool StreamBroken() const override { return broken_; }
    QString LastFailure() const override { return failure_; }

    // A punch of card at the given day and time, with codes 1, 0, 0.
    static CAttLogRec Punch(const QString& card, const QDate& day, const QTime& time = QTime(8, 0));

private:
    qsizetype next_ = 0;
    bool loaded_ = false;
    bool broken_ = false;
    qint64 announced_ = -1;
    QString failure_;
};

// Keeps every progress code and notification, in order.
class RecordingProgress : public ProgressSink {
public:
    struct Note {
        QString title;
        QString text;
    };
    void ReportStatus(const QString& code) override { codes.append(code); }
    void ShowNotification(const QString& title, const QString& text, const QString& = {},
                          int = 0) override
    {
        notes.append({title, text});
    }
    QStringList codes;
    QList<Note> notes;
};
