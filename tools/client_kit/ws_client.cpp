#include "tools/client_kit/ws_client.h"

#include <chrono>
#include <cstring>

#include "platform/sockets.h"

namespace {

constexpr int SEND_TIMEOUT_MS = 20000;

}  // namespace

WsClient::~WsClient() {
    close();
}

void WsClient::close() {
    if (fd_ >= 0) platform::closeSocket(fd_);
    fd_ = -1;
    pending_.clear();
}

void WsClient::abort() {
    if (fd_ < 0) return;
    platform::closeWithReset(fd_);
    fd_ = -1;
    pending_.clear();
}

bool WsClient::connect(int port, int timeoutMs, const std::string& path) {
    close();
    fd_ = connectLoopback(port, timeoutMs);
    if (fd_ < 0) return false;
    // A server that stops reading must fail a send, not hang the test.
    platform::setSendTimeout(fd_, SEND_TIMEOUT_MS);
    closeCode_ = -1;
    const std::string request = "GET " + path +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    if (!sendRaw(request)) return close(), false;
    std::string response;
    const int64_t deadline = nowMs() + timeoutMs;
    while (response.find("\r\n\r\n") == std::string::npos) {
        if (!waitReadable(fd_, static_cast<int>(deadline - nowMs()))) return close(), false;
        char chunk[1024];
        const long n = platform::receiveBytes(fd_, chunk, sizeof chunk);
        if (n <= 0) return close(), false;
        response.append(chunk, static_cast<size_t>(n));
    }
    const size_t end = response.find("\r\n\r\n") + 4;
    if (response.compare(0, 12, "HTTP/1.1 101") != 0) return close(), false;
    pending_ = response.substr(end);
    return true;
}

bool WsClient::sendRaw(const std::string& bytes) {
    return fd_ >= 0 && sendAll(fd_, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

bool WsClient::send(const Bytes& payload, int opcode) {
    if (fd_ < 0) return false;
    const uint8_t mask[4] = {0x12, 0x34, 0x56, 0x78};
    const Bytes frame = encodeClientFrame(static_cast<uint8_t>(0x80 | (opcode & 0x0F)), payload, mask);
    return sendAll(fd_, frame.data(), frame.size());
}

bool WsClient::readExact(uint8_t* data, size_t length, int timeoutMs) {
    const int64_t deadline = nowMs() + timeoutMs;
    while (length > 0) {
        if (!pending_.empty()) {
            const size_t take = std::min(length, pending_.size());
            std::memcpy(data, pending_.data(), take);
            pending_.erase(0, take);
            data += take;
            length -= take;
            continue;
        }
        if (!waitReadable(fd_, static_cast<int>(deadline - nowMs()))) return false;
        char chunk[65536];
        const long n = platform::receiveBytes(fd_, chunk, sizeof chunk);
        if (n <= 0) {
            close();
            return false;
        }
        pending_.append(chunk, static_cast<size_t>(n));
    }
    return true;
}

std::optional<WsMessage> WsClient::receive(int timeoutMs) {
    const int64_t deadline = nowMs() + timeoutMs;
    WsMessage message;
    for (;;) {
        if (fd_ < 0) return std::nullopt;
        uint8_t header[2];
        if (!readExact(header, 2, static_cast<int>(deadline - nowMs()))) return std::nullopt;
        // Once a frame has begun, give its rest a little longer than the caller asked.
        const int rest = static_cast<int>(std::max<int64_t>(deadline - nowMs(), 1000));
        uint64_t length = header[1] & 0x7F;
        if (length >= 126) {
            uint8_t extended[8];
            const size_t size = length == 126 ? 2 : 8;
            if (!readExact(extended, size, rest)) return std::nullopt;
            length = 0;
            for (size_t i = 0; i < size; ++i) length = (length << 8) | extended[i];
        }
        Bytes payload(length);
        if (length > 0 && !readExact(payload.data(), length, rest)) return std::nullopt;
        const int opcode = header[0] & 0x0F;
        if (opcode == 8) {
            closeCode_ = payload.size() >= 2 ? payload[0] << 8 | payload[1] : 0;
            close();
            return std::nullopt;
        }
        if (opcode == 9 || opcode == 10) continue;  // ping, pong
        if (opcode != 0) message.opcode = opcode;
        message.payload.insert(message.payload.end(), payload.begin(), payload.end());
        if (header[0] & 0x80) return message;
    }
}

std::optional<Bytes> WsClient::waitFor(const std::function<bool(const Bytes&)>& match, int timeoutMs) {
    const int64_t deadline = nowMs() + timeoutMs;
    while (nowMs() < deadline) {
        std::optional<WsMessage> message = receive(static_cast<int>(deadline - nowMs()));
        if (!message) return std::nullopt;
        if (match(message->payload)) return message->payload;
    }
    return std::nullopt;
}

std::optional<Bytes> WsClient::waitForCode(uint8_t code, int timeoutMs) {
    return waitFor([code](const Bytes& bytes) { return !bytes.empty() && bytes[0] == code; }, timeoutMs);
}

std::vector<Bytes> WsClient::drain(int timeoutMs) {
    std::vector<Bytes> messages;
    const int64_t deadline = nowMs() + timeoutMs;
    while (nowMs() < deadline) {
        std::optional<WsMessage> message = receive(static_cast<int>(deadline - nowMs()));
        if (!message) break;
        messages.push_back(message->payload);
    }
    return messages;
}
