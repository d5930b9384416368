// The control endpoint's socket side: a TCP listener on the loopback address,
// served by one thread of its own that reads command lines from any number of
// connections and writes back one answer line per command.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kv::sim {

class ControlServer {
public:
    using Handler = std::function<std::string(const std::string& line)>;

    static constexpr uint16_t DEFAULT_PORT = 8889;
    static constexpr size_t MAX_LINE = 4096;  // longer lines close the connection
    static constexpr size_t MAX_CONNECTIONS = 32;
    // Answers waiting for a client that does not read; past this the
    // connection is dropped instead of the server growing without end.
    static constexpr size_t MAX_PENDING_OUTPUT = 64 * 1024;

    explicit ControlServer(Handler handler);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Listens on 127.0.0.1:port and starts serving. False, with nothing left
    // open or running, when the port cannot be bound.
    bool start(uint16_t port = DEFAULT_PORT);
    // Closes the listener and every connection and joins the thread.
    void stop();

private:
    struct Connection {
        int fd = -1;  // platform::NO_SOCKET of platform/sockets.h
        std::string input;
        std::string output;
        bool closing = false;  // close once the output is written
        bool dropped = false;  // close at once, unanswered lines and pending output discarded
    };

    void serve();
    void acceptConnection();
    bool receive(Connection& connection);
    void answerLines(Connection& connection, bool endOfInput);
    bool send(Connection& connection);
    void drop(Connection& connection, const char* why);

    Handler handler_;
    int listenFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread thread_;
    std::vector<Connection> connections_;  // touched only by the serving thread
};

}  // namespace kv::sim
