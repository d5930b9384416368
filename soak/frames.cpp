#include "soak/frames.h"

Bytes maskedFrame(uint8_t firstByte, const Bytes& payload, std::minstd_rand& random, bool extendedLength) {
    uint8_t mask[4];
    for (uint8_t& m : mask) m = static_cast<uint8_t>(random());
    return encodeClientFrame(firstByte, payload, mask, extendedLength);
}

Bytes announceFrame(uint8_t firstByte, uint64_t length, std::minstd_rand& random) {
    Bytes frame{firstByte, 0x80 | 127};
    for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(static_cast<uint8_t>(length >> shift));
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<uint8_t>(random()));
    return frame;
}
