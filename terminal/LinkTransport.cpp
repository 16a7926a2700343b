#include "terminal/LinkTransport.h"

#include <QTcpSocket>

#include <algorithm>
#include <climits>

int WaitMs(QDeadlineTimer until)
{
    if (until.isForever())
        return -1;
    return int(std::clamp<qint64>(until.remainingTime(), 0, INT_MAX));
}

SocketTransport::SocketTransport() : owned_(new QTcpSocket), socket_(*owned_)
{
    socket_.setReadBufferSize(kSocketBufferBytes);
}

SocketTransport::SocketTransport(QTcpSocket& borrowed) : socket_(borrowed)
{
    socket_.setReadBufferSize(kSocketBufferBytes);
}

SocketTransport::~SocketTransport() = default;

bool SocketTransport::Connect(const QString& address, quint16 port, QDeadlineTimer until)
{
    socket_.abort();
    socket_.connectToHost(address, port);
    return socket_.waitForConnected(WaitMs(until));
}

bool SocketTransport::IsConnected() const
{
    return socket_.state() == QAbstractSocket::ConnectedState;
}

qint64 SocketTransport::Read(char* out, qint64 size, QDeadlineTimer until, Stop& stop)
{
    if (socket_.bytesAvailable() == 0 && !socket_.waitForReadyRead(WaitMs(until)) &&
        socket_.bytesAvailable() == 0) {
        if (socket_.error() == QAbstractSocket::SocketTimeoutError && IsConnected())
            stop = Stop::TimedOut;
        else if (socket_.error() == QAbstractSocket::RemoteHostClosedError || !IsConnected())
            stop = Stop::Closed;
        else
            stop = Stop::Failed;
        return 0;
    }
    const qint64 n = socket_.read(out, size);
    if (n > 0)
        return n;
    stop = IsConnected() ? Stop::Failed : Stop::Closed;
    return 0;
}

bool SocketTransport::Write(const char* data, qint64 size, QDeadlineTimer until)
{
    if (!IsConnected() || socket_.write(data, size) != size)
        return false;
    while (socket_.bytesToWrite() > 0)
        if (until.hasExpired() || !socket_.waitForBytesWritten(WaitMs(until)))
            return false;
    return true;
}

void SocketTransport::Abort()
{
    socket_.abort();
}

QString SocketTransport::ErrorText() const
{
    return socket_.errorString();
}
