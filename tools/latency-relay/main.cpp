// zelvor-latency-relay: forwards connections from a loopback address or Unix
// socket to another, holding back each direction's data for a set time, so
// that a benchmark can see how a database conversation fares on a slower
// network. See tools/README.md.
#include "Relay.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
}

void Print(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

const char* const kUsage =
    "usage: zelvor-latency-relay --listen ENDPOINT --target ENDPOINT [--delay-ms MS]\n"
    "                            [--max-buffer BYTES]\n"
    "ENDPOINT: a Unix socket path (starting with /) or a loopback HOST:PORT\n"
    "(127.0.0.1, [::1] or localhost; port 0 takes a free one). Each direction's\n"
    "data is delivered MS milliseconds (default 1, fractions allowed) after it\n"
    "arrived; at most BYTES (default 4194304) wait per direction. Prints\n"
    "\"listening ENDPOINT\" when ready; ends on SIGINT or SIGTERM.";

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString listenText, targetText;
    double delayMs = 1;
    qint64 maxBuffer = 4 * 1024 * 1024;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& name = args.at(i);
        if (name == QLatin1String("--help")) {
            Print(stdout, QString::fromLatin1(kUsage));
            return 0;
        }
        if (i + 1 >= args.size()) {
            Print(stderr, QString::fromLatin1(kUsage));
            return 2;
        }
        const QString value = args.at(++i);
        bool ok = true;
        if (name == QLatin1String("--listen"))
            listenText = value;
        else if (name == QLatin1String("--target"))
            targetText = value;
        else if (name == QLatin1String("--delay-ms"))
            delayMs = value.toDouble(&ok);
        else if (name == QLatin1String("--max-buffer"))
            maxBuffer = value.toLongLong(&ok);
        else
            ok = false;
        if (!ok || delayMs < 0 || maxBuffer < 1024) {
            Print(stderr, QStringLiteral("bad option %1 %2\n").arg(name, value) +
                              QString::fromLatin1(kUsage));
            return 2;
        }
    }
    QString error;
    const RelayEndpoint listen = ParseEndpoint(listenText, error);
    const RelayEndpoint target =
        error.isEmpty() ? ParseEndpoint(targetText, error) : RelayEndpoint();
    if (!error.isEmpty() || listenText.isEmpty() || targetText.isEmpty()) {
        Print(stderr, error.isEmpty() ? QString::fromLatin1(kUsage) : error);
        return 2;
    }

    if (::pipe(signalPipe) != 0)
        return 1;
    QSocketNotifier stop(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    const auto delay = std::chrono::microseconds(std::llround(delayMs * 1000));
    Relay relay(listen, target, delay, maxBuffer);
    if (!relay.Listen(error)) {
        Print(stderr, QStringLiteral("cannot listen on %1: %2").arg(listen.Text(), error));
        return 1;
    }
    Print(stdout, QStringLiteral("listening %1").arg(relay.Listening().Text()));
    return app.exec();
}
