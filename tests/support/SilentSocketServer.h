#pragma once

#include <QLocalServer>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// A database "server" that never answers: a Unix socket named like
// PostgreSQL's (.s.PGSQL.5432) in a folder of its own. Connections are queued
// by the kernel and never served, so a client sees a server that accepted its
// connection and then stays silent. Folder() is what a connection string
// gives as SERVER.
class SilentSocketServer {
public:
    SilentSocketServer();
    bool IsListening() const { return server_.isListening(); }
    QString Folder() const { return folder_.path(); }

private:
    QTemporaryDir folder_;
    QLocalServer server_;
};

} // namespace testsupport
