// One client connection to the WebSocket endpoint on 127.0.0.1, for callers
// that serve many connections from one thread: connecting and sending block
// (bounded), reading never does.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include "soak/frame_reader.h"

class Peer {
public:
    Peer() = default;
    ~Peer() { close(); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // A new TCP connection that sends request in place of an upgrade request and closes.
    static bool sendInsteadOfHandshake(int port, const Bytes& request);

    // TCP connection and upgrade handshake, within timeoutMs.
    bool connect(int port, int timeoutMs);
    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // One masked frame with a fresh mask.
    bool send(const Bytes& payload, int opcode = 2);
    // Bytes as they are.
    bool sendRaw(const Bytes& bytes);

    // Reads what has arrived, without waiting. False once the server has
    // closed the connection (or it failed); the peer is then closed.
    bool pump();
    std::optional<WsMessage> next() { return reader_.next(); }
    bool broken() const { return reader_.broken(); }

    // With reset, the connection is aborted (RST) instead of closed.
    void close(bool reset = false);

private:
    int fd_ = -1;
    FrameReader reader_;
    std::minstd_rand maskSource_{std::random_device{}()};
};
