#pragma once

#include <QDeadlineTimer>
#include <QString>

#include <memory>

class QTcpSocket;

// The byte stream under a terminal link: a TCP connection in the program and
// the simulator, a scripted one where the protocol handling is exercised
// without a network. Every wait ends at the deadline it is given.
class LinkTransport {
public:
    // Why Read returned no bytes.
    enum class Stop { TimedOut, Closed, Failed };

    virtual ~LinkTransport() = default;

    virtual bool Connect(const QString& address, quint16 port, QDeadlineTimer until) = 0;
    virtual bool IsConnected() const = 0;
    // Reads what has arrived, at most size bytes, waiting until some have or
    // until passes. Returns the bytes read (> 0), or 0 with the reason in stop.
    virtual qint64 Read(char* out, qint64 size, QDeadlineTimer until, Stop& stop) = 0;
    // Sends all bytes; false when they could not all leave before until.
    virtual bool Write(const char* data, qint64 size, QDeadlineTimer until) = 0;
    // Drops the connection at once.
    virtual void Abort() = 0;
    // The last error, in English.
    virtual QString ErrorText() const = 0;
};

// A transport over a QTcpSocket, blocking without an event loop. It owns its
// socket, or borrows one that a server accepted.
class SocketTransport : public LinkTransport {
public:
    // The socket's own input buffer is capped, so a flooding peer cannot grow it.
    static constexpr qint64 kSocketBufferBytes = 256 * 1024;

    SocketTransport();
    explicit SocketTransport(QTcpSocket& borrowed);
    ~SocketTransport() override;

    bool Connect(const QString& address, quint16 port, QDeadlineTimer until) override;
    bool IsConnected() const override;
    qint64 Read(char* out, qint64 size, QDeadlineTimer until, Stop& stop) override;
    bool Write(const char* data, qint64 size, QDeadlineTimer until) override;
    void Abort() override;
    QString ErrorText() const override;

private:
    std::unique_ptr<QTcpSocket> owned_;
    QTcpSocket& socket_;
};

// Milliseconds left until a deadline for Qt's blocking waits: -1 for no
// deadline, 0 when it has passed.
int WaitMs(QDeadlineTimer until);
