#pragma once

#include <QByteArray>

#include <memory>
#include <string_view>

class QTcpSocket;

// Blocking line input and output over a connected socket, without an event
// loop: every wait has a time-out, lines longer than the protocol's limit are
// refused, and memory stays at one fixed buffer whatever the peer sends.
class LineChannel {
public:
    enum class Status { Line, TimedOut, Closed, TooLong, Failed };

    explicit LineChannel(QTcpSocket& socket);
    ~LineChannel();

    // Next line without its line feed (and without one CR before it). The view
    // stays valid until the next call.
    Status ReadLine(std::string_view& line, int timeoutMs);
    // Sends all bytes, waiting at most timeoutMs for each part to leave.
    bool WriteAll(const char* data, qsizetype size, int timeoutMs);
    bool WriteAll(const QByteArray& data, int timeoutMs)
    {
        return WriteAll(data.constData(), data.size(), timeoutMs);
    }
    // Forgets unread input (after the socket was closed and reopened).
    void Reset();

    qint64 BytesReceived() const { return received_; }

    // Size of the fixed input buffer; the socket's own buffer is capped to it too.
    static constexpr int kBufferBytes = 64 * 1024;

private:
    Status Fill(int timeoutMs);

    QTcpSocket& socket_;
    std::unique_ptr<char[]> buffer_;
    int begin_ = 0;
    int end_ = 0;
    qint64 received_ = 0;
};

// Short name of a status, for failure texts.
const char* StatusText(LineChannel::Status status);
