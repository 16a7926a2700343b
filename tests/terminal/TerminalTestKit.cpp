#include "TerminalTestKit.h"

#include <QFile>
#include <QTcpServer>

int ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}

QString WritePunchLog(const QString& folder, const QStringList& punches)
{
    const QString path = folder + QStringLiteral("/punches.log");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("# test punches\n");
    for (const QString& punch : punches)
        file.write("P " + punch.toUtf8() + '\n');
    return path;
}
