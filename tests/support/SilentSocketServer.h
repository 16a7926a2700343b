#pragma once

#include <QLocalServer>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>

namespace testsupport {

// A database "server" that never answers: for PostgreSQL a Unix socket named
// like its own (.s.PGSQL.5432) in a folder of its own, for the T-SQL engine
// (TestDatabase::Engine()) a TCP port on the loopback address. Connections
// are accepted and never served, so a client sees a server that took its
// connection and then stays silent. ServerText() is what a connection string
// gives as SERVER.
class SilentSocketServer {
public:
    SilentSocketServer();
    bool IsListening() const;
    QString ServerText() const;

private:
    QTemporaryDir folder_;
    QLocalServer server_;
    QTcpServer tcpServer_;
};

} // namespace testsupport
