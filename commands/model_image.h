// The binary model image sent to the armband and kept as "model.bin":
// a 48-byte header and the weights of "W&B.txt" as little-endian floats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/data_files.h"

constexpr size_t MODEL_IMAGE_HEADER_SIZE = 48;
constexpr size_t MODEL_IMAGE_BUFFER_SIZE = 1200;

// Weight-block length rounded up to a multiple of 16.
uint32_t modelPayloadLength(int32_t rows, int32_t columns);

// Fills buffer (zeroed first) with the header and the first rows x columns numbers
// of the text of "W&B.txt"; returns the image length, or 0 when the shape does not
// fit the buffer. Slots past the numbers (parseTextNumbers) stay zero.
size_t buildModelImage(std::string_view weights, int32_t rows, int32_t columns, uint8_t channelMask,
                       uint8_t gestureCount, uint8_t* buffer);
