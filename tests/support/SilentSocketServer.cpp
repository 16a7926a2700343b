#include "SilentSocketServer.h"

namespace testsupport {

SilentSocketServer::SilentSocketServer()
{
    if (folder_.isValid())
        server_.listen(folder_.filePath(QStringLiteral(".s.PGSQL.5432")));
}

} // namespace testsupport
