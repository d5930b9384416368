#include "core/loopback_client.h"

#include <chrono>
#include <thread>

#include "platform/sockets.h"

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int connectLoopback(int port, int timeoutMs) {
    const int64_t deadline = nowMs() + timeoutMs;
    do {
        const int fd = platform::connectToLoopback(port);
        if (fd != platform::NO_SOCKET) return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (nowMs() < deadline);
    return -1;
}

bool waitReadable(int fd, int timeoutMs) {
    return platform::pollReadable(fd, timeoutMs);
}

ControlClient::~ControlClient() {
    close();
}

void ControlClient::close() {
    if (fd_ >= 0) platform::closeSocket(fd_);
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
    if (platform::sendBytes(fd_, out.data(), out.size()) != static_cast<long>(out.size())) return "";
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
        const long n = platform::receiveBytes(fd_, chunk, sizeof chunk);
        if (n <= 0) return "";
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}
