#pragma once

#include "PunchSource.h"
#include "SimOptions.h"
#include "TerminalState.h"

#include "terminal/LineChannel.h"
#include "terminal/LinkAuth.h"
#include "terminal/LinkTransport.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <string>

class QTcpSocket;

// One connection to the simulated terminal: greeting, mutual key proof, then
// requests until the client says BYE, goes silent or a fault ends it. However
// the session ends, a terminal it disabled is enabled again.
class SimSession {
public:
    SimSession(const SimOptions& options, PunchSource& punches, TerminalState& state,
               QTcpSocket& socket);
    ~SimSession();

    void Run();
    // Sends the whole punch stream at once and closes (benchmark floor).
    void RunRawStream();

private:
    bool Authenticate();
    bool Serve(std::string_view request);
    // The clock requests: TIME, and SETTIME with its six values and code.
    bool SendTime();
    bool SetTime(const std::string_view* values);
    // The authentication code of clock request number clockRequests_.
    QByteArray ClockCode(const char* word, const QByteArray& fields) const;
    bool SendPunches();
    // Holds a punch back until its time comes under --rate or --trickle; false
    // when the client left meanwhile.
    bool Pace(qint64 sent);
    // Sends the punch line that starts at lineStart in out_ a byte at a time.
    bool Drip(std::size_t lineStart);
    // Applies the faults due after this many punches; false when the session ends.
    bool InjectFaults(qint64 sent);
    void Append(const QByteArray& bytes);
    void AppendLine(const QByteArray& line, ztp::StreamCode& code);
    bool Send(const QByteArray& line);
    bool Refuse(int code, const char* text);
    bool Flush();
    // Waits ms while the client stays connected; false when it left.
    bool Pause(qint64 ms);
    void Stall();
    bool MachineMatches(std::string_view field);

    const SimOptions& options_;
    PunchSource& punches_;
    TerminalState& state_;
    QTcpSocket& socket_;
    SocketTransport transport_;
    LineChannel channel_;
    std::string out_;
    ztp::SessionKey sessionKey_{};
    qint64 streams_ = 0;
    qint64 clockRequests_ = 0; // TIME and SETTIME requests of this session
    qint64 pacingNs_ = 0;      // time between two punches; 0: no pacing
    QElapsedTimer streamTimer_;
    int lastError_ = 0;
    bool loaded_ = false;
};
