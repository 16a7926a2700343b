#include "SilentSocketServer.h"

#include "TestDatabase.h"

namespace testsupport {

SilentSocketServer::SilentSocketServer()
{
    if (TestDatabase::Engine() == TestEngine::TSql)
        tcpServer_.listen(QHostAddress::LocalHost);
    else if (folder_.isValid())
        server_.listen(folder_.filePath(QStringLiteral(".s.PGSQL.5432")));
}

bool SilentSocketServer::IsListening() const
{
    return server_.isListening() || tcpServer_.isListening();
}

QString SilentSocketServer::ServerText() const
{
    // FreeTDS takes the port after a comma; the TDSPORT of the environment
    // gives the real engine's port, not this one.
    if (tcpServer_.isListening())
        return QStringLiteral("127.0.0.1,%1").arg(tcpServer_.serverPort());
    return folder_.path();
}

} // namespace testsupport
