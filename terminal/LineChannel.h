#pragma once

#include <QByteArray>
#include <QDeadlineTimer>

#include <memory>
#include <string_view>

class LinkTransport;

// Blocking line input and output over a transport, without an event loop:
// every wait ends at a deadline, lines longer than the protocol's limit are
// refused, and memory stays at one fixed buffer whatever the peer sends.
class LineChannel {
public:
    enum class Status { Line, TimedOut, Closed, TooLong, Failed };

    explicit LineChannel(LinkTransport& transport);
    ~LineChannel();

    // Next line without its line feed (and without one CR before it), which
    // must be whole by until: a peer that sends a line a byte at a time cannot
    // stretch the wait. The view stays valid until the next call.
    Status ReadLine(std::string_view& line, QDeadlineTimer until)
    {
        return ReadLine(line, -1, until);
    }
    Status ReadLine(std::string_view& line, int timeoutMs)
    {
        return ReadLine(line, timeoutMs, QDeadlineTimer(QDeadlineTimer::Forever));
    }
    // The same with the line's time limit counted from when the wait for it
    // begins (-1: none), and ending at limit at the latest. A line already
    // buffered costs no look at the clock.
    Status ReadLine(std::string_view& line, int timeoutMs, QDeadlineTimer limit);
    // Sends all bytes by until.
    bool WriteAll(const char* data, qsizetype size, QDeadlineTimer until);
    bool WriteAll(const QByteArray& data, QDeadlineTimer until)
    {
        return WriteAll(data.constData(), data.size(), until);
    }
    bool WriteAll(const char* data, qsizetype size, int timeoutMs)
    {
        return WriteAll(data, size, QDeadlineTimer(timeoutMs));
    }
    // Looks whether the peer sent or ended anything, without waiting: Line when
    // bytes wait unread, TimedOut when nothing happened, Closed or Failed when
    // the connection has ended.
    Status Poll();
    // Forgets unread input (after the connection was closed and reopened).
    void Reset();

    qint64 BytesReceived() const { return received_; }

    // Size of the fixed input buffer. A punch stream arrives in reads of up
    // to this size: smaller ones leave the sender waiting for the reader
    // more often, which slowed a download by half.
    static constexpr int kBufferBytes = 256 * 1024;

private:
    Status Fill(QDeadlineTimer until);
    // Reads what arrives by until into the free end of the buffer.
    Status ReadMore(QDeadlineTimer until);

    LinkTransport& transport_;
    std::unique_ptr<char[]> buffer_;
    int begin_ = 0;
    int end_ = 0;
    qint64 received_ = 0;
};

// Short name of a status, for failure texts.
const char* StatusText(LineChannel::Status status);
