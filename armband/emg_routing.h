// Routing of raw EMG packets by operating mode: recording buffer plus live
// preview while recording, overlapping windows for identification.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// Each buffer's mutex is held for the whole of every access (append, cut,
// empty, save), so a packet is either wholly in a buffer or wholly absent.
extern std::shared_ptr<std::vector<uint8_t>> recordBuffer;
extern std::mutex recordBufferMutex;
// identifyBuffer is contiguous: a window is copied out with one memcpy, the cut
// moves the rest to the front, and its storage is reused from packet to packet.
extern std::shared_ptr<std::vector<uint8_t>> identifyBuffer;
extern std::mutex identifyBufferMutex;

// Handles one packet from the armband's data callback.
void routeEmgPacket(const uint8_t* packet, size_t length);

// Builds [0x07, frames 0, 4, 8, 12] of a packet into out (room for 255
// bytes); longer previews are cut to whole blocks. Returns the length.
size_t buildEmgPreview(const uint8_t* packet, size_t length, uint8_t* out);
