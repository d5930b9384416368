// The binary model image sent to the armband and kept as "model.bin":
// a 48-byte header and the weights of "W&B.txt" as little-endian floats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr size_t MODEL_IMAGE_HEADER_SIZE = 48;
constexpr size_t MODEL_IMAGE_BUFFER_SIZE = 1200;
constexpr const char* MODEL_IMAGE_FILE_NAME = "model.bin";

// Weight-block length rounded up to a multiple of 16.
uint32_t modelPayloadLength(int32_t rows, int32_t columns);

// Fills buffer (zeroed first) with the header and the rows x columns values
// read from weights; returns the image length, or 0 when the shape does not fit
// the buffer. Reads that fail leave their slots zero.
size_t buildModelImage(std::FILE* weights, int32_t rows, int32_t columns, uint8_t channelMask, uint8_t gestureCount,
                       uint8_t* buffer);
