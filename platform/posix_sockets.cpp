#include "platform/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace platform {

namespace {

long sentOrReceived(ssize_t count) {
    if (count >= 0) return static_cast<long>(count);
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? WOULD_BLOCK : -1;
}

int connectTo(const sockaddr* address, socklen_t length) {
    const int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return NO_SOCKET;
    if (::connect(fd, address, length) != 0) {
        ::close(fd);
        return NO_SOCKET;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

}  // namespace

int connectToLoopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connectTo(reinterpret_cast<sockaddr*>(&address), sizeof address);
}

int connectToLoopbackV6(int port) {
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<uint16_t>(port));
    address.sin6_addr = in6addr_loopback;
    return connectTo(reinterpret_cast<sockaddr*>(&address), sizeof address);
}

void closeSocket(int socket) {
    ::close(socket);
}

void closeWithReset(int socket) {
    const linger reset{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(socket);
}

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) ::close(fd);
    return port;
}

bool pollReadable(int socket, int timeoutMs) {
    pollfd p{socket, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs) > 0;
}

long sendBytes(int socket, const void* data, size_t size) {
    return sentOrReceived(::send(socket, data, size, MSG_NOSIGNAL));
}

long receiveBytes(int socket, void* data, size_t size) {
    return sentOrReceived(::recv(socket, data, size, 0));
}

namespace {

int listenOn(uint32_t host, int port, int backlog) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return NO_SOCKET;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(host);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, backlog) != 0) {
        ::close(fd);
        return NO_SOCKET;
    }
    return fd;
}

}  // namespace

int listenOnLoopback(int port, int backlog) {
    return listenOn(INADDR_LOOPBACK, port, backlog);
}

int listenOnAllAddresses(int port, int backlog) {
    return listenOn(INADDR_ANY, port, backlog);
}

int acceptWaiting(int listener) {
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    return fd < 0 ? NO_SOCKET : fd;
}

bool makeWakePair(int& readEnd, int& writeEnd) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) return false;
    readEnd = ends[0];
    writeEnd = ends[1];
    return true;
}

bool pollSockets(std::vector<PolledSocket>& sockets, int timeoutMs) {
    std::vector<pollfd> polled;
    polled.reserve(sockets.size());
    for (const PolledSocket& s : sockets) {
        polled.push_back({s.socket, static_cast<short>((s.wantRead ? POLLIN : 0) | (s.wantWrite ? POLLOUT : 0)), 0});
    }
    const int ready = ::poll(polled.data(), polled.size(), timeoutMs < 0 ? -1 : timeoutMs);
    for (size_t i = 0; i < sockets.size(); ++i) {
        const short events = ready > 0 ? polled[i].revents : 0;
        sockets[i].readable = (events & (POLLIN | POLLHUP | POLLERR)) != 0;
        sockets[i].writable = (events & POLLOUT) != 0;
    }
    return ready >= 0 || errno == EINTR;
}

void endSending(int socket) {
    ::shutdown(socket, SHUT_WR);
}

void setReceiveBufferSize(int socket, int bytes) {
    ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void setSendTimeout(int socket, int ms) {
    const timeval limit{ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

bool makeNonBlocking(int socket) {
    const int flags = ::fcntl(socket, F_GETFL);
    return flags >= 0 && ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool waitForPeerEnd(int socket, int timeoutMs) {
    pollfd polled{socket, POLLRDHUP, 0};
    return ::poll(&polled, 1, timeoutMs) == 1;
}

}  // namespace platform
