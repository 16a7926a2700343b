#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

// Where the program's message boxes go. Interactive use shows a modal box with
// an OK button; unattended runs and runs without a display write one line on
// standard error and go on.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Shows text with an OK button. caption empty means the application's title.
    virtual void Show(const QString& text, const QString& caption = {}) = 0;
    // Asks a yes-or-no question; true for yes. A sink that cannot ask (a run
    // without a window) shows the question and takes no for its answer.
    virtual bool Ask(const QString& text, const QString& caption = {})
    {
        Show(text, caption);
        return false;
    }

    // Names the device that the next messages concern, for the line form
    // ("Gate1: ..."). Empty clears it.
    void SetContext(const QString& deviceName) { context_ = deviceName; }
    const QString& Context() const { return context_; }

private:
    QString context_;
};

// One line per message on a stream (standard error by default).
class StreamMessageSink : public MessageSink {
public:
    explicit StreamMessageSink(FILE* stream = stderr) : stream_(stream) {}
    void Show(const QString& text, const QString& caption = {}) override;

private:
    FILE* stream_;
};

// Keeps every message; for tests and for callers that report later. A
// question is kept as a message too and answered with answer.
class RecordingMessageSink : public MessageSink {
public:
    void Show(const QString& text, const QString& = {}) override { messages.append(text); }
    bool Ask(const QString& text, const QString& = {}) override
    {
        messages.append(text);
        return answer;
    }
    QStringList messages;
    bool answer = true;
};

// Flattens a message into one line: each run of line breaks becomes " / ".
QString OneLine(const QString& text);

// Writes "zelvor: " and text with a line feed on stream in one UTF-8 write,
// and flushes: every line the program writes for a log or a console.
void WriteProgramLine(FILE* stream, const QString& text);
