#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

// A balloon notification at the notification-area icon, as the progress
// channel fills it in.
struct TrayNote {
    QString title;
    QString text;
    QString tip;
    int timeoutMs = 0;
};

// Shows notifications: the tray icon when there is one, else a line on
// standard error. Add is the first call of an icon's life, Modify every later one.
class NotificationSink {
public:
    virtual ~NotificationSink() = default;
    virtual bool Add(const TrayNote& note) = 0;
    virtual bool Modify(const TrayNote& note) = 0;
};

// "zelvor: <title>: <text>" on a stream; used without a tray. alsoShow, when
// given, gets every notification too (a window that shows them itself).
class StreamNotificationSink : public NotificationSink {
public:
    explicit StreamNotificationSink(FILE* stream = stderr,
                                    std::function<void(const TrayNote&)> alsoShow = {})
        : stream_(stream), alsoShow_(std::move(alsoShow))
    {
    }
    bool Add(const TrayNote& note) override { return write(note); }
    bool Modify(const TrayNote& note) override { return write(note); }

private:
    bool write(const TrayNote& note);
    FILE* stream_;
    std::function<void(const TrayNote&)> alsoShow_;
};

// Keeps every call; for tests.
class RecordingNotificationSink : public NotificationSink {
public:
    struct Call {
        bool added;
        TrayNote note;
    };
    bool Add(const TrayNote& note) override
    {
        calls.append({true, note});
        return addResult;
    }
    bool Modify(const TrayNote& note) override
    {
        calls.append({false, note});
        return true;
    }
    QList<Call> calls;
    bool addResult = true;
};
