// Raw WebSocket frames as a client would put them on the wire, including
// ones no client should send.
#pragma once

#include <cstdint>
#include <random>

#include "tools/client_kit/ws_client.h"

// A masked frame with the given first byte (FIN, reserved bits, opcode). With
// extendedLength the payload length is written in the 16-bit field even when it is short.
Bytes maskedFrame(uint8_t firstByte, const Bytes& payload, std::minstd_rand& random, bool extendedLength = false);

// A frame header that announces length bytes (64-bit length field) and its mask, without payload.
Bytes announceFrame(uint8_t firstByte, uint64_t length, std::minstd_rand& random);
