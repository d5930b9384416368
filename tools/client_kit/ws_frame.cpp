#include "tools/client_kit/ws_frame.h"

#include "platform/sockets.h"

Bytes encodeClientFrame(uint8_t firstByte, const Bytes& payload, const uint8_t mask[4], bool extendedLength) {
    Bytes frame;
    frame.reserve(payload.size() + 14);
    frame.push_back(firstByte);
    const uint64_t length = payload.size();
    if (length < 126 && !extendedLength) {
        frame.push_back(static_cast<uint8_t>(0x80 | length));
    } else if (length < 65536) {
        frame.push_back(0x80 | 126);
        frame.push_back(static_cast<uint8_t>(length >> 8));
        frame.push_back(static_cast<uint8_t>(length));
    } else {
        frame.push_back(0x80 | 127);
        for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(static_cast<uint8_t>(length >> shift));
    }
    frame.insert(frame.end(), mask, mask + 4);
    for (size_t i = 0; i < payload.size(); ++i) frame.push_back(payload[i] ^ mask[i % 4]);
    return frame;
}

bool sendAll(int fd, const uint8_t* data, size_t length) {
    while (length > 0) {
        const long n = platform::sendBytes(fd, data, length);
        if (n <= 0) return false;  // WOULD_BLOCK: no progress within the socket's send timeout
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}
