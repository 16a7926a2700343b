#include "Relay.h"

#include <QHostAddress>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace {

constexpr qint64 kReadChunk = 64 * 1024;

void SetReadLimit(QIODevice* device, qint64 bytes)
{
    if (auto* local = qobject_cast<QLocalSocket*>(device))
        local->setReadBufferSize(bytes);
    else if (auto* tcp = qobject_cast<QAbstractSocket*>(device))
        tcp->setReadBufferSize(bytes);
}

// Closes after what is written has gone out.
void CloseWriting(QIODevice* device)
{
    if (auto* local = qobject_cast<QLocalSocket*>(device))
        local->disconnectFromServer();
    else if (auto* tcp = qobject_cast<QAbstractSocket*>(device))
        tcp->disconnectFromHost();
}

bool IsLoopbackHost(const QString& host)
{
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

// One relayed connection: the client's socket, the one to the target, and a
// delayed pipe each way. Deletes itself when both directions are done.
class Link : public QObject {
public:
    Link(QIODevice* client, const RelayEndpoint& target, std::chrono::microseconds delay,
         qint64 maxQueued, QObject* parent)
        : QObject(parent), client_(client), delay_(delay), maxQueued_(maxQueued)
    {
        client_->setParent(this);
        SetReadLimit(client_, kReadChunk);
        if (auto* local = qobject_cast<QLocalSocket*>(client_))
            connect(local, &QLocalSocket::disconnected, this, [this] { Ended(client_); });
        else if (auto* tcp = qobject_cast<QTcpSocket*>(client_))
            connect(tcp, &QTcpSocket::disconnected, this, [this] { Ended(client_); });
        // Connecting may report at once, so the socket is in place first.
        if (target.IsUnix()) {
            auto* socket = new QLocalSocket(this);
            upstream_ = socket;
            Watch(socket);
            socket->connectToServer(target.path);
        } else {
            auto* socket = new QTcpSocket(this);
            upstream_ = socket;
            Watch(socket);
            socket->connectToHost(target.host, target.port);
        }
    }

private:
    template <typename Socket> void Watch(Socket* socket)
    {
        connect(socket, &Socket::connected, this, &Link::Connected);
        connect(socket, &Socket::disconnected, this, [this] { Ended(upstream_); });
        connect(socket, &Socket::errorOccurred, this, [this] {
            if (!toUpstream_)
                deleteLater(); // the target cannot be reached
        });
    }

    void Connected()
    {
        SetReadLimit(upstream_, kReadChunk);
        toUpstream_ = new DelayedPipe(client_, upstream_, delay_, maxQueued_, this);
        toClient_ = new DelayedPipe(upstream_, client_, delay_, maxQueued_, this);
        for (DelayedPipe* pipe : {toUpstream_, toClient_})
            connect(pipe, &DelayedPipe::finished, this, [this] {
                if (toUpstream_->Done() && toClient_->Done())
                    deleteLater();
            });
    }

    // A side closed: what it sent is still delivered to the other side.
    void Ended(QIODevice* side)
    {
        if (!toUpstream_) {
            deleteLater();
            return;
        }
        (side == client_ ? toUpstream_ : toClient_)->SourceEnded();
    }

    QIODevice* client_;
    QIODevice* upstream_ = nullptr;
    std::chrono::microseconds delay_;
    qint64 maxQueued_;
    DelayedPipe* toUpstream_ = nullptr;
    DelayedPipe* toClient_ = nullptr;
};

} // namespace

QString RelayEndpoint::Text() const
{
    return IsUnix() ? path : QStringLiteral("%1:%2").arg(host).arg(port);
}

RelayEndpoint ParseEndpoint(const QString& text, QString& error)
{
    RelayEndpoint endpoint;
    if (text.startsWith(QLatin1Char('/'))) {
        endpoint.path = text;
        return endpoint;
    }
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const uint port = colon > 0 ? text.mid(colon + 1).toUInt(&ok) : 0;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (!ok || port > 65535) {
        error = QStringLiteral("not a socket path or HOST:PORT: %1").arg(text);
        return {};
    }
    if (!IsLoopbackHost(host)) {
        error = QStringLiteral("only loopback addresses are relayed: %1").arg(host);
        return {};
    }
    endpoint.host = host;
    endpoint.port = quint16(port);
    return endpoint;
}

DelayedPipe::DelayedPipe(QIODevice* src, QIODevice* dst, std::chrono::microseconds delay,
                         qint64 maxQueued, QObject* parent)
    : QObject(parent), src_(src), dst_(dst), delay_(delay), maxQueued_(maxQueued)
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &DelayedPipe::Deliver);
    connect(src_, &QIODevice::readyRead, this, &DelayedPipe::Pull);
    connect(dst_, &QIODevice::bytesWritten, this, &DelayedPipe::Deliver);
    Pull();
}

void DelayedPipe::SourceEnded()
{
    ended_ = true;
    Pull();
}

void DelayedPipe::Pull()
{
    const auto now = std::chrono::steady_clock::now();
    while (src_->bytesAvailable() > 0) {
        const qint64 room = maxQueued_ - queued_ - dst_->bytesToWrite();
        if (room <= 0)
            break; // read again once some is delivered
        const QByteArray data = src_->read(std::min({room, kReadChunk, src_->bytesAvailable()}));
        if (data.isEmpty())
            break;
        queued_ += data.size();
        queue_.push_back({now + delay_, data});
    }
    Arm();
}

void DelayedPipe::Deliver()
{
    const auto now = std::chrono::steady_clock::now();
    while (!queue_.empty() && queue_.front().due <= now) {
        dst_->write(queue_.front().data);
        queued_ -= queue_.front().data.size();
        queue_.pop_front();
    }
    Pull();
}

void DelayedPipe::Arm()
{
    if (queue_.empty()) {
        if (ended_ && src_->bytesAvailable() == 0) {
            CloseWriting(dst_);
            emit finished();
        }
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
        queue_.front().due - std::chrono::steady_clock::now());
    if (!timer_.isActive() || timer_.remainingTime() > wait.count())
        timer_.start(int(std::max<std::chrono::milliseconds::rep>(0, wait.count())));
}

Relay::Relay(RelayEndpoint listen, RelayEndpoint target, std::chrono::microseconds delay,
             qint64 maxQueued)
    : listen_(std::move(listen)), target_(std::move(target)), delay_(delay), maxQueued_(maxQueued)
{
}

Relay::~Relay() = default;

bool Relay::Listen(QString& error)
{
    if (listen_.IsUnix()) {
        localServer_ = std::make_unique<QLocalServer>();
        localServer_->setSocketOptions(QLocalServer::UserAccessOption);
        if (!localServer_->listen(listen_.path)) {
            error = localServer_->errorString();
            return false;
        }
        connect(localServer_.get(), &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* client = localServer_->nextPendingConnection())
                Accept(client);
        });
        return true;
    }
    tcpServer_ = std::make_unique<QTcpServer>();
    const QHostAddress address = listen_.host == QLatin1String("localhost")
                                     ? QHostAddress(QHostAddress::LocalHost)
                                     : QHostAddress(listen_.host);
    if (!tcpServer_->listen(address, listen_.port)) {
        error = tcpServer_->errorString();
        return false;
    }
    listen_.port = tcpServer_->serverPort();
    connect(tcpServer_.get(), &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* client = tcpServer_->nextPendingConnection())
            Accept(client);
    });
    return true;
}

void Relay::Accept(QIODevice* client)
{
    new Link(client, target_, delay_, maxQueued_, this);
}
