// A non-blocking WebSocket client on 127.0.0.1 for the benchmarks: many of
// them are polled from one thread, every message is stamped with the time at
// which its bytes were read, and nothing is allocated per message once the
// read buffer has grown (so an allocation count of the server under test is
// not blurred by the client's own).
//
// Server messages are expected unfragmented (both servers under test send
// each message as one frame); ping and pong frames are skipped.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Nanoseconds on the steady clock.
int64_t monotonicNs();

class LoopbackClient {
public:
    LoopbackClient() = default;
    ~LoopbackClient();
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    // Connects and completes the upgrade within the time, then switches the
    // socket to non-blocking mode.
    bool connect(int port, int timeoutMs);
    void close();
    int fd() const { return fd_; }
    bool connected() const { return fd_ >= 0; }

    // One masked binary frame; waits (bounded) while the socket is full.
    bool send(const uint8_t* data, size_t length);
    bool send(std::initializer_list<uint8_t> bytes) { return send(bytes.begin(), bytes.size()); }

    // Reads what has arrived and calls onMessage(payload, length, arrivalNs)
    // for every complete message. False once the connection is closed.
    template <class OnMessage>
    bool readAvailable(OnMessage&& onMessage);

private:
    // Moves newly arrived bytes into the buffer; false on close or error.
    bool fill(int64_t& arrivalNs, bool& gotBytes);
    // The next complete frame in the buffer: its opcode, payload and full size.
    bool nextFrame(int& opcode, const uint8_t*& payload, size_t& length, size_t& frameSize) const;

    int fd_ = -1;
    std::vector<uint8_t> buffer_ = std::vector<uint8_t>(1 << 16);
    size_t start_ = 0;  // first unread byte
    size_t end_ = 0;    // one past the last byte read
};

template <class OnMessage>
bool LoopbackClient::readAvailable(OnMessage&& onMessage) {
    if (fd_ < 0) return false;
    int64_t arrival = 0;
    bool gotBytes = false;
    const bool open = fill(arrival, gotBytes);
    int opcode = 0;
    const uint8_t* payload = nullptr;
    size_t length = 0;
    size_t frameSize = 0;
    while (nextFrame(opcode, payload, length, frameSize)) {
        start_ += frameSize;
        if (opcode == 8) {
            close();
            return false;
        }
        if (opcode == 9 || opcode == 10) continue;
        onMessage(payload, length, arrival);
    }
    if (!open) close();
    return open;
}

// Polls clients until done() is true or the deadline passes; calls
// onMessage(clientIndex, payload, length, arrivalNs). False on time-out or
// when a client lost its connection.
template <class OnMessage, class Done>
bool pollClients(const std::vector<LoopbackClient*>& clients, int64_t deadlineNs, OnMessage&& onMessage, Done&& done) {
    thread_local std::vector<pollfd> fds;
    fds.resize(clients.size());
    while (!done()) {
        const int64_t left = deadlineNs - monotonicNs();
        if (left <= 0) return false;
        for (size_t i = 0; i < clients.size(); ++i) fds[i] = pollfd{clients[i]->fd(), POLLIN, 0};
        const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left / 1000000 + 1));
        if (ready < 0) return false;
        for (size_t i = 0; i < clients.size(); ++i) {
            if (fds[i].revents == 0) continue;
            const bool open = clients[i]->readAvailable([&](const uint8_t* payload, size_t length, int64_t arrival) {
                onMessage(i, payload, length, arrival);
            });
            if (!open) return false;
        }
    }
    return true;
}
