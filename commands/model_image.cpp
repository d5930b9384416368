#include "commands/model_image.h"

#include <cstring>
#include <vector>

uint32_t modelPayloadLength(int32_t rows, int32_t columns) {
    uint32_t length = (static_cast<uint32_t>(rows) * static_cast<uint32_t>(columns) * 4u) % 65536u;
    if (length % 16 != 0) length += 16 - length % 16;
    return length;
}

size_t buildModelImage(std::string_view weights, int32_t rows, int32_t columns, uint8_t channelMask,
                       uint8_t gestureCount, uint8_t* buffer) {
    std::memset(buffer, 0, MODEL_IMAGE_BUFFER_SIZE);
    if (rows <= 0 || columns <= 0) return 0;
    const uint32_t payload = modelPayloadLength(rows, columns);
    const uint64_t values = static_cast<uint64_t>(rows) * static_cast<uint64_t>(columns);
    if (MODEL_IMAGE_HEADER_SIZE + payload > MODEL_IMAGE_BUFFER_SIZE ||
        MODEL_IMAGE_HEADER_SIZE + values * 4 > MODEL_IMAGE_BUFFER_SIZE) {
        return 0;
    }
    buffer[0] = channelMask;
    buffer[1] = gestureCount;
    buffer[2] = static_cast<uint8_t>(payload & 0xFF);
    buffer[3] = static_cast<uint8_t>(payload >> 8);
    const std::vector<float> numbers = parseTextNumbers(weights).values;
    for (size_t k = 0; k < values && k < numbers.size(); ++k) {
        uint32_t bits;
        std::memcpy(&bits, &numbers[k], sizeof bits);
        const size_t offset = MODEL_IMAGE_HEADER_SIZE + 4 * k;
        for (int byte = 0; byte < 4; ++byte) buffer[offset + byte] = static_cast<uint8_t>(bits >> (8 * byte));
    }
    return MODEL_IMAGE_HEADER_SIZE + payload;
}
