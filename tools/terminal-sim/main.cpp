// zelvor-terminal-sim: a simulated fingerprint terminal for tests, demos and
// benchmarks. See tools/README.md.
#include "PunchSource.h"
#include "SimOptions.h"
#include "SimSession.h"
#include "TerminalState.h"

#include "platform/AtomicFile.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <memory>

namespace {

void Print(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QString message;
    int exitCode = 0;
    const auto options = ParseSimOptions(app.arguments().mid(1), message, exitCode);
    if (!options) {
        Print(exitCode == 0 ? stdout : stderr, message);
        return exitCode;
    }
    PunchSource punches(*options);
    TerminalState state(options->stateFile, options->clockOffset);
    if (!punches.Check(message)) {
        Print(stderr, message);
        return 2;
    }
    QTcpServer server;
    QHostAddress address;
    if (!address.setAddress(options->listen) || !server.listen(address, quint16(options->port))) {
        Print(stderr, QStringLiteral("cannot listen on %1 port %2: %3")
                          .arg(options->listen)
                          .arg(options->port)
                          .arg(server.errorString()));
        return 1;
    }
    const QString where =
        QStringLiteral("%1 %2").arg(server.serverAddress().toString()).arg(server.serverPort());
    // A script waiting for the port polls this file; the rename makes it appear complete.
    if (!options->portFile.isEmpty() &&
        !WriteFileAtomically(options->portFile, (where + QLatin1Char('\n')).toUtf8())) {
        Print(stderr, QStringLiteral("cannot write the port file %1").arg(options->portFile));
        return 1;
    }
    Print(stdout, QStringLiteral("listening ") + where);

    for (int served = 0; options->sessions == 0 || served < options->sessions; ++served) {
        if (!server.waitForNewConnection(-1))
            return 1;
        std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
        if (!socket)
            continue;
        if (served < options->refuse) {
            socket->abort();
            continue;
        }
        {
            SimSession session(*options, punches, state, *socket);
            if (options->rawStream)
                session.RunRawStream();
            else
                session.Run();
        }
        if (socket->state() == QAbstractSocket::ConnectedState) {
            socket->disconnectFromHost();
            if (socket->state() != QAbstractSocket::UnconnectedState)
                socket->waitForDisconnected(1000);
        }
    }
    return 0;
}
