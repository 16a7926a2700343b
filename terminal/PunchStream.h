#pragma once

#include "terminal/LineSource.h"
#include "terminal/LinkAuth.h"
#include "terminal/PunchLine.h"

#include <QDeadlineTimer>
#include <QString>

#include <optional>
#include <string_view>

// The punch stream half of the terminal link: the LOG line, exactly the
// announced number of punch lines, and the END line with the stream's
// authentication code, read one line at a time (memory does not depend on the
// size of the log). It checks the counts and the code. What it finds wrong is
// its Fault, for the link to drop the session with: nothing after a malformed
// line can be trusted.
class PunchStream {
public:
    enum class Step { Punch, End, Broken };
    struct Fault {
        int localCode = 0; // the client's own error code (ztp::local)
        QString text;
    };

    // Takes the line that answered READ as the LOG line of stream number of a
    // session keyed key, whose LOAD announced announced punches. False, with
    // the fault, when it is not a LOG line with that count.
    bool Begin(std::string_view logLine, const ztp::SessionKey& key, qint64 number,
               qint64 announced);
    // Reads the next line from lines: a punch (see Punch()), the end of the
    // stream, or a break: the fault says why, and is empty when lines itself
    // failed (it has said why).
    Step Next(LineSource& lines, QDeadlineTimer limit = QDeadlineTimer(QDeadlineTimer::Forever));
    // Forgets the stream (the session that carried it is gone).
    void Reset();

    const ztp::WirePunch& Punch() const { return punch_; }
    const Fault& LastFault() const { return fault_; }

private:
    Step Broken(int localCode, const QString& text);

    ztp::WirePunch punch_;
    std::optional<ztp::StreamCode> code_;
    qint64 announced_ = 0;
    qint64 delivered_ = 0;
    Fault fault_;
};
