#include "terminal/LineChannel.h"

#include "terminal/Protocol.h"

#include <QTcpSocket>

#include <cstring>

LineChannel::LineChannel(QTcpSocket& socket) : socket_(socket), buffer_(new char[kBufferBytes])
{
    socket_.setReadBufferSize(kBufferBytes);
}

LineChannel::~LineChannel() = default;

void LineChannel::Reset()
{
    begin_ = end_ = 0;
}

LineChannel::Status LineChannel::ReadLine(std::string_view& line, int timeoutMs)
{
    while (true) {
        const char* start = buffer_.get() + begin_;
        const auto* lf = static_cast<const char*>(std::memchr(start, '\n', size_t(end_ - begin_)));
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
        if (end_ - begin_ >= ztp::kMaxLineBytes)
            return Status::TooLong;
        const Status filled = Fill(timeoutMs);
        if (filled != Status::Line)
            return filled;
    }
}

LineChannel::Status LineChannel::Fill(int timeoutMs)
{
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, size_t(end_ - begin_));
        end_ -= begin_;
        begin_ = 0;
    }
    if (socket_.bytesAvailable() == 0 && !socket_.waitForReadyRead(timeoutMs)) {
        if (socket_.bytesAvailable() == 0) {
            if (socket_.error() == QAbstractSocket::SocketTimeoutError)
                return Status::TimedOut;
            if (socket_.error() == QAbstractSocket::RemoteHostClosedError ||
                socket_.state() != QAbstractSocket::ConnectedState)
                return Status::Closed;
            return Status::Failed;
        }
    }
    const qint64 n = socket_.read(buffer_.get() + end_, kBufferBytes - end_);
    if (n < 0)
        return Status::Failed;
    end_ += int(n);
    received_ += n;
    return Status::Line;
}

bool LineChannel::WriteAll(const char* data, qsizetype size, int timeoutMs)
{
    if (socket_.state() != QAbstractSocket::ConnectedState)
        return false;
    if (socket_.write(data, size) != size)
        return false;
    while (socket_.bytesToWrite() > 0)
        if (!socket_.waitForBytesWritten(timeoutMs))
            return false;
    return true;
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
