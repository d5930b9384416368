#include "bench/loopback_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

int64_t monotonicNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

namespace {

bool waitFor(int fd, short events, int64_t deadlineNs) {
    for (;;) {
        const int64_t left = deadlineNs - monotonicNs();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left / 1000000 + 1));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
}

}  // namespace

LoopbackClient::~LoopbackClient() {
    close();
}

void LoopbackClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    start_ = end_ = 0;
}

bool LoopbackClient::connect(int port, int timeoutMs) {
    close();
    const int64_t deadline = monotonicNs() + int64_t{timeoutMs} * 1000000;
    while (fd_ < 0) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            fd_ = fd;
            break;
        }
        ::close(fd);
        if (monotonicNs() >= deadline) return false;
        usleep(20000);
    }
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    const std::string request =
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    if (::send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        close();
        return false;
    }
    // Read the response byte-wise up to its blank line, so no frame byte is taken with it.
    std::string response;
    while (response.size() < 4 || response.compare(response.size() - 4, 4, "\r\n\r\n") != 0) {
        if (!waitFor(fd_, POLLIN, deadline)) {
            close();
            return false;
        }
        char c;
        if (::recv(fd_, &c, 1, 0) != 1) {
            close();
            return false;
        }
        response.push_back(c);
    }
    if (response.compare(0, 12, "HTTP/1.1 101") != 0) {
        close();
        return false;
    }
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    return true;
}

bool LoopbackClient::send(const uint8_t* data, size_t length) {
    if (fd_ < 0 || length > 125) return false;
    uint8_t frame[2 + 4 + 125];
    frame[0] = 0x82;  // FIN, binary
    frame[1] = static_cast<uint8_t>(0x80 | length);
    const uint8_t mask[4] = {0x12, 0x34, 0x56, 0x78};
    std::memcpy(frame + 2, mask, 4);
    for (size_t i = 0; i < length; ++i) frame[6 + i] = data[i] ^ mask[i % 4];
    const size_t total = 6 + length;
    size_t sent = 0;
    const int64_t deadline = monotonicNs() + 3000000000LL;
    while (sent < total) {
        const ssize_t n = ::send(fd_, frame + sent, total - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (!waitFor(fd_, POLLOUT, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

bool LoopbackClient::fill(int64_t& arrivalNs, bool& gotBytes) {
    for (;;) {
        if (start_ > 0 && start_ == end_) start_ = end_ = 0;
        if (end_ == buffer_.size()) {
            if (start_ > 0) {
                std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
                end_ -= start_;
                start_ = 0;
            } else {
                buffer_.resize(buffer_.size() * 2);
            }
        }
        const ssize_t n = ::recv(fd_, buffer_.data() + end_, buffer_.size() - end_, 0);
        if (n > 0) {
            if (!gotBytes) arrivalNs = monotonicNs();
            gotBytes = true;
            end_ += static_cast<size_t>(n);
            // Take whatever has arrived in one go; a full buffer is read again.
            if (end_ < buffer_.size()) return true;
            continue;
        }
        if (n == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

bool LoopbackClient::nextFrame(int& opcode, const uint8_t*& payload, size_t& length, size_t& frameSize) const {
    const size_t available = end_ - start_;
    if (available < 2) return false;
    const uint8_t* p = buffer_.data() + start_;
    size_t header = 2;
    uint64_t size = p[1] & 0x7F;
    if (size == 126) {
        header = 4;
        if (available < header) return false;
        size = (uint64_t{p[2]} << 8) | p[3];
    } else if (size == 127) {
        header = 10;
        if (available < header) return false;
        size = 0;
        for (int i = 0; i < 8; ++i) size = (size << 8) | p[2 + i];
    }
    if (p[1] & 0x80) header += 4;  // a server never masks; tolerated all the same
    if (available < header + size) return false;
    opcode = p[0] & 0x0F;
    payload = p + header;
    length = static_cast<size_t>(size);
    frameSize = header + static_cast<size_t>(size);
    return true;
}
