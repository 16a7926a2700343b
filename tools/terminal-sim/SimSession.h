#pragma once

#include "PunchSource.h"
#include "SimOptions.h"

#include "terminal/LineChannel.h"

#include <QByteArray>

#include <string>

class QTcpSocket;

// One connection to the simulated terminal: greeting, key check, then
// requests until the client says BYE, goes silent or a fault ends it.
class SimSession {
public:
    SimSession(const SimOptions& options, PunchSource& punches, QTcpSocket& socket);

    void Run();
    // Sends the whole punch stream at once and closes (benchmark floor).
    void RunRawStream();

private:
    bool Authenticate();
    bool Serve(std::string_view request);
    bool SendPunches();
    // Applies the faults due after this many punches; false when the session ends.
    bool InjectFaults(qint64 sent);
    void Append(const QByteArray& bytes);
    bool Send(const QByteArray& line);
    bool Refuse(int code, const char* text);
    bool Flush();
    void Stall();
    bool MachineMatches(std::string_view field);

    const SimOptions& options_;
    PunchSource& punches_;
    QTcpSocket& socket_;
    LineChannel channel_;
    std::string out_;
    int lastError_ = 0;
    bool loaded_ = false;
};
