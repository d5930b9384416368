#include "platform/sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <mutex>

namespace platform {

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

long sentOrReceived(int count) {
    if (count != SOCKET_ERROR) return count;
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINTR ? WOULD_BLOCK : -1;
}

// A TCP socket that child processes do not inherit, non-blocking when asked.
SOCKET newSocket(bool nonBlocking) {
    const SOCKET handle = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    u_long on = 1;
    if (handle != INVALID_SOCKET && nonBlocking && ioctlsocket(handle, FIONBIO, &on) != 0) {
        ::closesocket(handle);
        return INVALID_SOCKET;
    }
    return handle;
}

sockaddr_in loopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_port == b.sin_port && a.sin_addr.s_addr == b.sin_addr.s_addr;
}

}  // namespace

namespace {

int connectTo(const sockaddr* address, int length) {
    if (!socketsStarted()) return NO_SOCKET;
    const SOCKET handle = WSASocketW(address->sa_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (handle == INVALID_SOCKET) return NO_SOCKET;
    if (::connect(handle, address, length) != 0) {
        ::closesocket(handle);
        return NO_SOCKET;
    }
    BOOL one = TRUE;
    setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return static_cast<int>(handle);
}

}  // namespace

int connectToLoopback(int port) {
    const sockaddr_in address = loopbackAddress(port);
    return connectTo(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

int connectToLoopbackV6(int port) {
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<u_short>(port));
    address.sin6_addr = in6addr_loopback;
    return connectTo(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

void closeSocket(int socket) {
    ::closesocket(handleOf(socket));
}

void closeWithReset(int socket) {
    const linger reset{1, 0};
    ::setsockopt(handleOf(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
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
    return sentOrReceived(::send(handleOf(socket), static_cast<const char*>(data), cappedLength(size), 0));
}

long receiveBytes(int socket, void* data, size_t size) {
    return sentOrReceived(::recv(handleOf(socket), static_cast<char*>(data), cappedLength(size), 0));
}

namespace {

int listenOn(u_long host, int port, int backlog) {
    if (!socketsStarted()) return NO_SOCKET;
    const SOCKET handle = newSocket(true);
    if (handle == INVALID_SOCKET) return NO_SOCKET;
    // No other socket may bind the same port while this one listens (Windows'
    // SO_REUSEADDR would allow that, unlike POSIX's).
    BOOL on = TRUE;
    setsockopt(handle, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in address = loopbackAddress(port);
    address.sin_addr.s_addr = htonl(host);
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(handle, backlog) != 0) {
        ::closesocket(handle);
        return NO_SOCKET;
    }
    return static_cast<int>(handle);
}

}  // namespace

int listenOnLoopback(int port, int backlog) {
    return listenOn(INADDR_LOOPBACK, port, backlog);
}

int listenOnAllAddresses(int port, int backlog) {
    return listenOn(INADDR_ANY, port, backlog);
}

int acceptWaiting(int listener) {
    const SOCKET handle = ::accept(handleOf(listener), nullptr, nullptr);
    if (handle == INVALID_SOCKET) return NO_SOCKET;
    // An accepted socket inherits the listener's non-blocking mode; not its inheritance flag.
    SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
    u_long on = 1;
    ioctlsocket(handle, FIONBIO, &on);
    return static_cast<int>(handle);
}

// Windows has no socketpair: a loopback connection to a listener of our own,
// which is closed at once; the accepted peer must be our own connecting end.
bool makeWakePair(int& readEnd, int& writeEnd) {
    const int listener = listenOnLoopback(0, 1);
    if (listener == NO_SOCKET) return false;
    sockaddr_in listening{};
    int length = sizeof listening;
    SOCKET writer = INVALID_SOCKET;
    SOCKET reader = INVALID_SOCKET;
    sockaddr_in writerAddress{}, readerPeer{};
    int writerLength = sizeof writerAddress, peerLength = sizeof readerPeer;
    WSAPOLLFD waiting{};
    waiting.fd = handleOf(listener);
    waiting.events = POLLRDNORM;
    if (::getsockname(handleOf(listener), reinterpret_cast<sockaddr*>(&listening), &length) == 0 &&
        (writer = newSocket(false)) != INVALID_SOCKET &&
        ::connect(writer, reinterpret_cast<const sockaddr*>(&listening), sizeof listening) == 0 &&
        ::getsockname(writer, reinterpret_cast<sockaddr*>(&writerAddress), &writerLength) == 0 &&
        WSAPoll(&waiting, 1, -1) > 0 && (reader = handleOf(acceptWaiting(listener))) != INVALID_SOCKET &&
        ::getpeername(reader, reinterpret_cast<sockaddr*>(&readerPeer), &peerLength) == 0 &&
        sameAddress(writerAddress, readerPeer)) {
        u_long on = 1;
        ioctlsocket(writer, FIONBIO, &on);
        closeSocket(listener);
        readEnd = static_cast<int>(reader);
        writeEnd = static_cast<int>(writer);
        return true;
    }
    if (writer != INVALID_SOCKET) ::closesocket(writer);
    if (reader != INVALID_SOCKET) ::closesocket(reader);
    closeSocket(listener);
    return false;
}

bool pollSockets(std::vector<PolledSocket>& sockets, int timeoutMs) {
    std::vector<WSAPOLLFD> polled(sockets.size());
    for (size_t i = 0; i < sockets.size(); ++i) {
        polled[i].fd = handleOf(sockets[i].socket);
        polled[i].events = static_cast<SHORT>((sockets[i].wantRead ? POLLRDNORM : 0) | (sockets[i].wantWrite ? POLLWRNORM : 0));
    }
    const int ready = WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), timeoutMs < 0 ? -1 : timeoutMs);
    for (size_t i = 0; i < sockets.size(); ++i) {
        const SHORT events = ready > 0 ? polled[i].revents : 0;
        sockets[i].readable = (events & (POLLRDNORM | POLLHUP | POLLERR)) != 0;
        sockets[i].writable = (events & POLLWRNORM) != 0;
    }
    return ready != SOCKET_ERROR || WSAGetLastError() == WSAEINTR;
}

void endSending(int socket) {
    ::shutdown(handleOf(socket), SD_SEND);
}

void setReceiveBufferSize(int socket, int bytes) {
    ::setsockopt(handleOf(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

void setSendTimeout(int socket, int ms) {
    const DWORD limit = static_cast<DWORD>(ms);
    ::setsockopt(handleOf(socket), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
}

bool makeNonBlocking(int socket) {
    u_long on = 1;
    return ioctlsocket(handleOf(socket), FIONBIO, &on) == 0;
}

// With no event asked for, WSAPoll still reports an ended or reset connection
// (POLLHUP, POLLERR), whatever is left unread.
bool waitForPeerEnd(int socket, int timeoutMs) {
    WSAPOLLFD p{};
    p.fd = handleOf(socket);
    p.events = 0;
    return WSAPoll(&p, 1, timeoutMs) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0;
}

}  // namespace platform
