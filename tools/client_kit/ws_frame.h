// The client side of the WebSocket wire format, shared by every client here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A masked frame: firstByte (FIN, reserved bits, opcode), the length in the
// shortest field (the 16-bit field at least with extendedLength), the mask,
// then the masked payload.
Bytes encodeClientFrame(uint8_t firstByte, const Bytes& payload, const uint8_t mask[4], bool extendedLength = false);

// Sends every byte, retrying after interruptions; false when the socket fails.
bool sendAll(int fd, const uint8_t* data, size_t length);
