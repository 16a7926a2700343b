#include "app/DriverWarnings.h"

#include "platform/MessageSink.h"

#include <QMutex>
#include <QSet>
#include <QtGlobal>

#include <cstdio>

namespace {

QtMessageHandler previousHandler = nullptr;
bool installed = false;

// The name itself lives in the innermost DriverWarningDevice. A thread_local
// object with a destructor is avoided: with mingw-w64's thread-local storage
// its memory is freed before its destructor runs at a thread's end, which
// corrupted the heap.
thread_local const QString* currentDevice = nullptr;

// Lines written so far, so that each is written once. A run whose statements
// fail with ever new texts stops remembering, and then writes every line.
constexpr qsizetype kRememberedLines = 1000;
QMutex writtenLock;
QSet<QString> written;

bool IsDriverWarning(const QString& message)
{
    // Qt's debug stream quotes the texts it is given.
    return message.startsWith(QLatin1String("QODBC")) ||
           message.startsWith(QLatin1String("\"QODBC"));
}

void WriteOnce(const QString& line)
{
    {
        const QMutexLocker guard(&writtenLock);
        if (written.contains(line))
            return;
        if (written.size() < kRememberedLines)
            written.insert(line);
    }
    WriteProgramLine(stderr, line);
}

void RouteMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && IsDriverWarning(message)) {
        WriteOnce(DriverWarningLine(currentDevice ? *currentDevice : QString(), message));
        return;
    }
    if (previousHandler) {
        previousHandler(type, context, message);
        return;
    }
    const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

} // namespace

void RouteDriverWarnings()
{
    if (installed)
        return;
    installed = true;
    previousHandler = qInstallMessageHandler(RouteMessages);
}

DriverWarningDevice::DriverWarningDevice(const QString& name)
    : name_(name), previous_(currentDevice)
{
    currentDevice = &name_;
}

DriverWarningDevice::~DriverWarningDevice()
{
    currentDevice = previous_;
}

QString DriverWarningLine(const QString& device, const QString& message)
{
    // Qt's debug stream encloses texts in quotes and escapes quotes,
    // backslashes and control characters inside them.
    QString text;
    for (qsizetype i = 0; i < message.size(); ++i) {
        const QChar c = message.at(i);
        if (c == QLatin1Char('"'))
            continue;
        if (c == QLatin1Char('\\') && i + 1 < message.size()) {
            const QChar escaped = message.at(++i);
            text += QStringLiteral("\"\\").contains(escaped) ? escaped : QChar(u' ');
            continue;
        }
        text += c;
    }
    text = OneLine(text).simplified();
    return (device.isEmpty() ? QString() : device + QStringLiteral(": ")) +
           QStringLiteral("ODBC driver: ") + text;
}
