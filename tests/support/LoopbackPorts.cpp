#include "LoopbackPorts.h"

#ifdef _WIN32
#include <winsock2.h>
using socklen_t = int;
using Socket = SOCKET;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using Socket = int;
#endif

namespace testsupport {

namespace {

std::intptr_t OpenSocket()
{
#ifdef _WIN32
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return -1;
    const SOCKET made = ::socket(AF_INET, SOCK_STREAM, 0);
    if (made != INVALID_SOCKET)
        return std::intptr_t(made);
    WSACleanup();
    return -1;
#else
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
#endif
}

} // namespace

ClosedPort::ClosedPort()
{
    socket_ = OpenSocket();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (socket_ < 0 ||
        ::bind(Socket(socket_), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(Socket(socket_), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
}

ClosedPort::~ClosedPort()
{
#ifdef _WIN32
    if (socket_ >= 0) {
        ::closesocket(Socket(socket_));
        WSACleanup();
    }
#else
    if (socket_ >= 0)
        ::close(Socket(socket_));
#endif
}

} // namespace testsupport
