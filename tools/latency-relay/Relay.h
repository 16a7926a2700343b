#pragma once

#include <QIODevice>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <memory>

class QLocalServer;
class QTcpServer;

// Where the relay listens or connects: a Unix socket path (starting with "/"),
// or a loopback TCP address as HOST:PORT (127.0.0.1, [::1] or localhost).
struct RelayEndpoint {
    QString path; // Unix socket, or empty
    QString host; // loopback address, for TCP
    quint16 port = 0;

    bool IsUnix() const { return !path.isEmpty(); }
    QString Text() const;
};

// Parses an endpoint; on failure an endpoint without path or host, with the
// reason in error.
RelayEndpoint ParseEndpoint(const QString& text, QString& error);

// Moves one direction of a connection from src to dst, each chunk held back
// until delay after it arrived. At most maxQueued bytes wait in the relay
// (queued here or in dst's write buffer); beyond that src is not read, so the
// sender is slowed down by its own socket buffers instead of the relay
// growing without bound.
class DelayedPipe : public QObject {
    Q_OBJECT
public:
    DelayedPipe(QIODevice* src, QIODevice* dst, std::chrono::microseconds delay, qint64 maxQueued,
                QObject* parent);

    // src has closed: what it sent is still delivered, then dst is closed.
    void SourceEnded();
    bool Done() const { return ended_ && queue_.empty() && src_->bytesAvailable() == 0; }

signals:
    void finished();

private:
    void Pull();
    void Deliver();
    void Arm();

    struct Chunk {
        std::chrono::steady_clock::time_point due;
        QByteArray data;
    };
    QIODevice* src_;
    QIODevice* dst_;
    std::chrono::microseconds delay_;
    qint64 maxQueued_;
    std::deque<Chunk> queue_;
    qint64 queued_ = 0;
    bool ended_ = false;
    QTimer timer_;
};

// A relay listening on one endpoint and forwarding every connection to
// another, delaying each direction.
class Relay : public QObject {
    Q_OBJECT
public:
    Relay(RelayEndpoint listen, RelayEndpoint target, std::chrono::microseconds delay,
          qint64 maxQueued);
    ~Relay() override;

    // Starts listening; false with the reason in error.
    bool Listen(QString& error);
    // Where it listens (the port chosen when 0 was asked for).
    const RelayEndpoint& Listening() const { return listen_; }

private:
    void Accept(QIODevice* client);

    RelayEndpoint listen_;
    RelayEndpoint target_;
    std::chrono::microseconds delay_;
    qint64 maxQueued_;
    std::unique_ptr<QLocalServer> localServer_;
    std::unique_ptr<QTcpServer> tcpServer_;
};
