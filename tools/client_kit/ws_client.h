// A small blocking WebSocket client for tests and tools: one connection,
// masked frames out, whole messages in, every wait bounded.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/loopback_client.h"
#include "tools/client_kit/ws_frame.h"

struct WsMessage {
    int opcode = 0;
    Bytes payload;
};

class WsClient {
public:
    WsClient() = default;
    ~WsClient();
    WsClient(const WsClient&) = delete;
    WsClient& operator=(const WsClient&) = delete;

    bool connect(int port = 8888, int timeoutMs = 3000, const std::string& path = "/");
    bool connected() const { return fd_ >= 0; }
    // Ends the connection with a reset instead of an orderly close.
    void abort();
    bool send(const Bytes& payload, int opcode = 2);
    bool sendText(const std::string& text) { return send(Bytes(text.begin(), text.end()), 1); }
    // Bytes as they are, for malformed frames.
    bool sendRaw(const std::string& bytes);
    std::optional<WsMessage> receive(int timeoutMs);
    // The first message accepted by match within the time; others are skipped.
    std::optional<Bytes> waitFor(const std::function<bool(const Bytes&)>& match, int timeoutMs);
    // The first message whose first byte is code.
    std::optional<Bytes> waitForCode(uint8_t code, int timeoutMs);
    // Every message that arrives within the time.
    std::vector<Bytes> drain(int timeoutMs);
    void close();
    // The code of the server's close frame, once receive has met one; else -1.
    int closeCode() const { return closeCode_; }

private:
    bool readExact(uint8_t* data, size_t length, int timeoutMs);
    int fd_ = -1;
    int closeCode_ = -1;
    std::string pending_;  // bytes read past the handshake
};
