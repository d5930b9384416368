#include "control_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

ControlClient::~ControlClient() { close(); }

bool ControlClient::connect(uint16_t port) {
    close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close();
        return false;
    }
    return true;
}

void ControlClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pending_.clear();
}

bool ControlClient::sendRaw(const std::string& bytes) {
    size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const ssize_t count = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) return false;
        sent += static_cast<size_t>(count);
    }
    return fd_ >= 0;
}

std::string ControlClient::readLine(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (fd_ < 0 || left.count() <= 0) return {};
        pollfd polled{fd_, POLLIN, 0};
        if (::poll(&polled, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[8192];
        const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
        if (count <= 0) return {};
        pending_.append(buffer, static_cast<size_t>(count));
    }
}

std::string ControlClient::command(const std::string& line) {
    if (!sendRaw(line + "\n")) return {};
    return readLine();
}

bool ControlClient::closedByPeer(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0 && std::chrono::steady_clock::now() < deadline) {
        pollfd polled{fd_, POLLIN, 0};
        if (::poll(&polled, 1, 100) <= 0) continue;
        char buffer[8192];
        const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
        if (count <= 0) return true;
    }
    return false;
}
