// Blocking TCP on the loopback address with every wait bounded: used by
// `emgbridge control` and by the client kit of the tests and tools.
#pragma once

#include <cstdint>
#include <string>

// Milliseconds on the steady clock.
int64_t nowMs();

// A socket connected to 127.0.0.1:port, retrying until the time is up; -1 then.
int connectLoopback(int port, int timeoutMs);

// True when fd has bytes (or an end) to read within the time.
bool waitReadable(int fd, int timeoutMs);

// A line-based client for the virtual armband's control endpoint.
class ControlClient {
public:
    ~ControlClient();
    bool connect(int port = 8889, int timeoutMs = 3000);
    // Sends one command line and returns its answer line ("" when none came).
    std::string command(const std::string& line, int timeoutMs = 3000);
    void close();

private:
    int fd_ = -1;
    std::string buffer_;
};
