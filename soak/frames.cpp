#include "soak/frames.h"

Bytes maskedFrame(uint8_t firstByte, const Bytes& payload, std::minstd_rand& random, bool extendedLength) {
    Bytes frame{firstByte};
    const size_t length = payload.size();
    if (length < 126 && !extendedLength) {
        frame.push_back(static_cast<uint8_t>(0x80 | length));
    } else if (length < 65536) {
        frame.push_back(0x80 | 126);
        frame.push_back(static_cast<uint8_t>(length >> 8));
        frame.push_back(static_cast<uint8_t>(length));
    } else {
        frame.push_back(0x80 | 127);
        for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(static_cast<uint8_t>(uint64_t(length) >> shift));
    }
    uint8_t mask[4];
    for (uint8_t& m : mask) m = static_cast<uint8_t>(random());
    frame.insert(frame.end(), mask, mask + 4);
    for (size_t i = 0; i < length; ++i) frame.push_back(payload[i] ^ mask[i % 4]);
    return frame;
}

Bytes announceFrame(uint8_t firstByte, uint64_t length, std::minstd_rand& random) {
    Bytes frame{firstByte, 0x80 | 127};
    for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(static_cast<uint8_t>(length >> shift));
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(random()));
    return frame;
}
