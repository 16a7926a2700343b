#pragma once

#include <QDateTime>

// The one source of "now" for the program, so that export file names and the
// first-of-month bound can be tested across midnight and month ends.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// A clock that stays where the test puts it.
class FixedClock : public Clock {
public:
    explicit FixedClock(QDateTime at) : at_(std::move(at)) {}
    QDateTime now() const override { return at_; }
    void set(QDateTime at) { at_ = std::move(at); }

private:
    QDateTime at_;
};

// The shared process clock used when no other is given.
const Clock& systemClock();

// The local current date with the day set to 1 and the time to 00:00:00.
QDateTime FirstOfMonth(const Clock& clock);
