// A line-based TCP client for the virtual armband's control endpoint.
#pragma once

#include <cstdint>
#include <string>

class ControlClient {
public:
    ControlClient() = default;
    ~ControlClient();
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;

    bool connect(uint16_t port = 8889);
    void close();
    bool sendRaw(const std::string& bytes);
    // One answer line without its line end; empty when none came in time or
    // the connection closed.
    std::string readLine(int timeoutMs = 5000);
    // Sends `line` with "\n" and returns the answer.
    std::string command(const std::string& line);
    // True once the endpoint has closed the connection (waits up to timeoutMs).
    bool closedByPeer(int timeoutMs = 5000);

private:
    int fd_ = -1;
    std::string pending_;
};
