#pragma once

#include <cstdint>

namespace testsupport {

// A loopback port on which nothing listens while this object lives: a socket
// is bound to it without listening, so a connection to it is refused at once,
// and no server started later (nor the local end of an outgoing connection,
// whose port the kernel picks from the same range) can take it meanwhile. A
// port that was merely free a moment ago could be taken by either, and a
// connection then reached something, or itself.
class ClosedPort {
public:
    ClosedPort();
    ~ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;

    int Port() const { return port_; } // 0 when no port could be reserved

private:
    std::intptr_t socket_ = -1; // a descriptor, or a Windows socket handle
    int port_ = 0;
};

} // namespace testsupport
