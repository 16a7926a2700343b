#include "LoopbackPorts.h"

#include <QTcpServer>

namespace testsupport {

int ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace testsupport
