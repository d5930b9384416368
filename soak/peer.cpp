#include "soak/peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int SEND_TIMEOUT_MS = 5000;

bool waitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs) > 0;
}

int connectLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

}  // namespace

bool Peer::sendInsteadOfHandshake(int port, const Bytes& request) {
    const int fd = connectLoopback(port);
    if (fd < 0) return false;
    const bool sent = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
    ::close(fd);
    return sent;
}

bool Peer::connect(int port, int timeoutMs) {
    close();
    const int64_t deadline = nowMs() + timeoutMs;
    fd_ = connectLoopback(port);
    if (fd_ < 0) return false;
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval sendTimeout{SEND_TIMEOUT_MS / 1000, 0};
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    const std::string request =
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: c29hayBwZWVyIGtleSAxMg==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    if (!sendAll(fd_, reinterpret_cast<const uint8_t*>(request.data()), request.size())) return close(), false;
    std::string response;
    size_t end;
    while ((end = response.find("\r\n\r\n")) == std::string::npos) {
        if (!waitFor(fd_, POLLIN, static_cast<int>(deadline - nowMs()))) return close(), false;
        char chunk[1024];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return close(), false;
        response.append(chunk, static_cast<size_t>(n));
    }
    if (response.compare(0, 12, "HTTP/1.1 101") != 0) return close(), false;
    reader_.clear();
    const std::string rest = response.substr(end + 4);
    reader_.append(reinterpret_cast<const uint8_t*>(rest.data()), rest.size());
    return true;
}

bool Peer::send(const Bytes& payload, int opcode) {
    if (fd_ < 0) return false;
    const uint32_t maskWord = static_cast<uint32_t>(maskSource_());
    uint8_t mask[4];
    std::memcpy(mask, &maskWord, sizeof mask);
    const Bytes frame = encodeClientFrame(static_cast<uint8_t>(0x80 | (opcode & 0x0F)), payload, mask);
    return sendAll(fd_, frame.data(), frame.size());
}

bool Peer::sendRaw(const Bytes& bytes) { return fd_ >= 0 && sendAll(fd_, bytes.data(), bytes.size()); }

bool Peer::pump() {
    if (fd_ < 0) return false;
    uint8_t chunk[65536];
    for (int reads = 0; reads < 16; ++reads) {
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            reader_.append(chunk, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
        close();
        return false;
    }
    return true;
}

void Peer::close(bool reset) {
    if (fd_ < 0) return;
    if (reset) {
        linger abort{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    ::close(fd_);
    fd_ = -1;
}
