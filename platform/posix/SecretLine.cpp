#include "platform/SecretLine.h"

#include <termios.h>
#include <unistd.h>

namespace {

// Turns terminal echo off for its lifetime when the stream is a terminal.
class EchoOff {
public:
    explicit EchoOff(int fd) : fd_(fd)
    {
        if (tcgetattr(fd_, &saved_) != 0)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        active_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff()
    {
        if (active_)
            tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    bool active() const { return active_; }

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

} // namespace

SecretLine ReadSecretLine(FILE* in)
{
    if (!isatty(fileno(in)))
        return ReadSecretBytes(in);
    const EchoOff echo(fileno(in));
    SecretLine line = ReadSecretBytes(in);
    line.lineBreakShown = !echo.active();
    return line;
}
