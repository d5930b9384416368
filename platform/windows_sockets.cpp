#include "platform/sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <mutex>

namespace {

// Winsock needs WSAStartup before the first call; it is never cleaned up (the
// process's end does that).
bool socketsStarted() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

SOCKET handleOf(int socket) {
    return static_cast<SOCKET>(socket);
}

int cappedLength(size_t size) {
    return size > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

}  // namespace

int connectToLoopback(int port) {
    if (!socketsStarted()) return NO_SOCKET;
    const SOCKET handle = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (handle == INVALID_SOCKET) return NO_SOCKET;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::closesocket(handle);
        return NO_SOCKET;
    }
    BOOL one = TRUE;
    setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return static_cast<int>(handle);
}

void closeSocket(int socket) {
    ::closesocket(handleOf(socket));
}

int freeLoopbackPort() {
    if (!socketsStarted()) return 0;
    const SOCKET handle = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (handle == INVALID_SOCKET) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    int port = 0;
    if (::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::closesocket(handle);
    return port;
}

bool pollReadable(int socket, int timeoutMs) {
    WSAPOLLFD p{};
    p.fd = handleOf(socket);
    p.events = POLLRDNORM;
    return WSAPoll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs) > 0;
}

// Windows raises no signal on a closed connection.
long sendBytes(int socket, const void* data, size_t size) {
    return ::send(handleOf(socket), static_cast<const char*>(data), cappedLength(size), 0);
}

long receiveBytes(int socket, void* data, size_t size) {
    return ::recv(handleOf(socket), static_cast<char*>(data), cappedLength(size), 0);
}
