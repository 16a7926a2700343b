#include "access/ConsolePasswordPrompt.h"

#include <QByteArray>

#include <termios.h>
#include <unistd.h>

namespace {

// Turns terminal echo off for its lifetime when the stream is a terminal.
class EchoOff {
public:
    explicit EchoOff(FILE* in) : fd_(fileno(in))
    {
        if (!isatty(fd_) || tcgetattr(fd_, &saved_) != 0)
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

QString ConsolePasswordPrompt::PromptPassword()
{
    std::fputs("Password (كلمة السر): ", out_);
    std::fflush(out_);
    EchoOff echo(in_);
    QByteArray line;
    for (int c = std::fgetc(in_); c != EOF && c != '\n'; c = std::fgetc(in_)) {
        // A password is short; stop reading runaway input.
        if (line.size() < 4096)
            line.append(char(c));
    }
    // Ends the prompt's line, unless the terminal echoed the typed line break:
    // a log that captures the prompt must not run it into the next line.
    if (echo.active() || !isatty(fileno(in_)))
        std::fputc('\n', out_);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}
