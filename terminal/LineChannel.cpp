#include "terminal/LineChannel.h"

#include "terminal/LinkTransport.h"
#include "terminal/Protocol.h"

#include <algorithm>
#include <cstring>

LineChannel::LineChannel(LinkTransport& transport)
    : transport_(transport), buffer_(new char[kBufferBytes])
{
}

LineChannel::~LineChannel() = default;

void LineChannel::Reset()
{
    begin_ = end_ = 0;
}

LineChannel::Status LineChannel::ReadLine(std::string_view& line, int timeoutMs,
                                          QDeadlineTimer limit)
{
    std::size_t searched = 0; // bytes already known to hold no line feed
    QDeadlineTimer until = limit;
    bool waiting = false;
    while (true) {
        const char* start = buffer_.get() + begin_;
        const std::size_t buffered = std::size_t(end_ - begin_);
        const auto* lf =
            static_cast<const char*>(std::memchr(start + searched, '\n', buffered - searched));
        if (lf) {
            if (lf - start + 1 > ztp::kMaxLineBytes)
                return Status::TooLong;
            std::size_t size = std::size_t(lf - start);
            if (size > 0 && start[size - 1] == '\r')
                --size;
            line = std::string_view(start, size);
            begin_ = int(lf - buffer_.get()) + 1;
            return Status::Line;
        }
        if (buffered >= std::size_t(ztp::kMaxLineBytes))
            return Status::TooLong;
        searched = buffered;
        if (!waiting && timeoutMs >= 0)
            until = std::min(QDeadlineTimer(timeoutMs), limit);
        waiting = true;
        const Status filled = Fill(until);
        if (filled != Status::Line)
            return filled;
    }
}

LineChannel::Status LineChannel::Fill(QDeadlineTimer until)
{
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, size_t(end_ - begin_));
        end_ -= begin_;
        begin_ = 0;
    }
    // Checked before reading even when bytes wait: a peer that floods the link
    // must not keep a reader past its deadline.
    if (until.hasExpired())
        return Status::TimedOut;
    return ReadMore(until);
}

LineChannel::Status LineChannel::Poll()
{
    if (end_ > begin_)
        return Status::Line;
    begin_ = end_ = 0; // everything read: the whole buffer is free
    // A deadline that has passed reads what has arrived without waiting.
    return ReadMore(QDeadlineTimer(0));
}

LineChannel::Status LineChannel::ReadMore(QDeadlineTimer until)
{
    LinkTransport::Stop stop = LinkTransport::Stop::Failed;
    const qint64 n = transport_.Read(buffer_.get() + end_, kBufferBytes - end_, until, stop);
    if (n > 0) {
        end_ += int(n);
        received_ += n;
        return Status::Line;
    }
    switch (stop) {
    case LinkTransport::Stop::TimedOut:
        return Status::TimedOut;
    case LinkTransport::Stop::Closed:
        return Status::Closed;
    case LinkTransport::Stop::Failed:
        return Status::Failed;
    }
    return Status::Failed;
}

bool LineChannel::WriteAll(const char* data, qsizetype size, QDeadlineTimer until)
{
    return !until.hasExpired() && transport_.Write(data, size, until);
}

const char* StatusText(LineChannel::Status status)
{
    switch (status) {
    case LineChannel::Status::Line:
        return "ok";
    case LineChannel::Status::TimedOut:
        return "timed out waiting for the terminal";
    case LineChannel::Status::Closed:
        return "the terminal closed the connection";
    case LineChannel::Status::TooLong:
        return "line longer than the protocol allows";
    case LineChannel::Status::Failed:
        return "network error";
    }
    return "?";
}
