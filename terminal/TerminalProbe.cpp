#include "terminal/TerminalProbe.h"

#include "terminal/LinkTransport.h"

#include <QTcpSocket>

#include <algorithm>

namespace {

// The shorter of a step's own time-out and what is left of the deadline.
int Remaining(int timeoutMs, const QDeadlineTimer& deadline)
{
    return WaitMs(std::min(QDeadlineTimer(timeoutMs), deadline));
}

} // namespace

TerminalProbe ProbeTerminal(const QString& address, int port, int connectTimeoutMs,
                            int readTimeoutMs, QDeadlineTimer deadline)
{
    TerminalProbe probe;
    QTcpSocket socket;
    socket.connectToHost(address, quint16(port));
    if (!socket.waitForConnected(Remaining(connectTimeoutMs, deadline))) {
        probe.socketText = socket.errorString();
        switch (socket.error()) {
        case QAbstractSocket::ConnectionRefusedError:
            probe.reach = TerminalReach::Refused;
            break;
        case QAbstractSocket::HostNotFoundError:
            probe.reach = TerminalReach::HostNotFound;
            break;
        case QAbstractSocket::NetworkError:
            probe.reach = TerminalReach::Unreachable;
            break;
        case QAbstractSocket::SocketTimeoutError:
            probe.reach = TerminalReach::TimedOut;
            break;
        default:
            probe.reach = TerminalReach::Other;
        }
        socket.abort();
        return probe;
    }
    if (socket.waitForReadyRead(Remaining(readTimeoutMs, deadline)))
        probe.reach = TerminalReach::Answers;
    else if (socket.state() == QAbstractSocket::UnconnectedState ||
             socket.error() == QAbstractSocket::RemoteHostClosedError)
        probe.reach = TerminalReach::ClosedAtOnce;
    else
        probe.reach = TerminalReach::Silent;
    socket.abort();
    return probe;
}
