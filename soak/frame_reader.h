// Incremental parser of the frames a WebSocket server sends: bytes go in as
// they arrive, whole messages (fragments joined) come out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "tools/client_kit/ws_client.h"

class FrameReader {
public:
    void append(const uint8_t* data, size_t length);
    // The next whole message: data (1, 2), close (8); pings and pongs are
    // skipped. Empty when more bytes are needed.
    std::optional<WsMessage> next();
    // A frame that no server may send (reserved opcode, over 16 MiB); the
    // stream cannot be read past it.
    bool broken() const { return broken_; }
    void clear();

private:
    std::vector<uint8_t> buffer_;
    size_t offset_ = 0;
    bool broken_ = false;
    int fragmentOpcode_ = 0;
    Bytes fragments_;
};
