// The shape of the EMG data, shared by the stream set-up, the packet routing,
// feature extraction and identification.
#pragma once

#include <cstdint>

constexpr uint32_t MAX_CHANNELS = 8;  // one bit of the channel mask each
constexpr uint32_t MAX_GESTURES = 8;  // one bit of the gesture mask each
constexpr uint32_t MAX_GESTURE_PAIRS = MAX_GESTURES * (MAX_GESTURES - 1) / 2;

// A raw EMG packet holds this many frames of one byte per enabled channel.
constexpr uint32_t EMG_FRAMES_PER_PACKET = 16;

// Feature and identification windows span 130 frames (200 ms at 650 frames/s).
// Identification windows overlap by half: each starts WINDOW_HALF_FRAMES after
// the one before, and only its first half is new.
constexpr uint32_t WINDOW_FRAMES = 130;
constexpr uint32_t WINDOW_HALF_FRAMES = WINDOW_FRAMES / 2;
