#include "core/loopback_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int connectLoopback(int port, int timeoutMs) {
    const int64_t deadline = nowMs() + timeoutMs;
    do {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return -1;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return fd;
        }
        ::close(fd);
        usleep(20000);
    } while (nowMs() < deadline);
    return -1;
}

bool waitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs) > 0;
}

ControlClient::~ControlClient() {
    close();
}

void ControlClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
}

bool ControlClient::connect(int port, int timeoutMs) {
    close();
    fd_ = connectLoopback(port, timeoutMs);
    return fd_ >= 0;
}

std::string ControlClient::command(const std::string& line, int timeoutMs) {
    if (fd_ < 0) return "";
    const std::string out = line + "\n";
    if (::send(fd_, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) return "";
    const int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        const size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            std::string answer = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            if (!answer.empty() && answer.back() == '\r') answer.pop_back();
            return answer;
        }
        if (!waitReadable(fd_, static_cast<int>(deadline - nowMs()))) return "";
        char chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return "";
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}
