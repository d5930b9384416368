// The shape of the EMG data, shared by the stream set-up, the packet routing,
// the recordings, feature extraction, training and identification.
#pragma once

#include <cstdint>

constexpr uint32_t MAX_CHANNELS = 8;  // one bit of the channel mask each
constexpr uint32_t MAX_GESTURES = 8;  // one bit of the gesture mask each

// The armband samples every enabled channel this many times a second: the frame
// rate of the stream and of the recordings.
constexpr uint32_t EMG_FRAMES_PER_SECOND = 650;

// The model has one pairwise classifier, one row of "W&B.txt", per pair of gestures.
constexpr int64_t modelRowsForGestures(int64_t gestures) {
    return gestures * (gestures - 1) / 2;
}
constexpr uint32_t MAX_GESTURE_PAIRS = static_cast<uint32_t>(modelRowsForGestures(MAX_GESTURES));

// The gesture count 2..MAX_GESTURES of a model with rows rows, or 0 when no count has that many.
constexpr int32_t gesturesForModelRows(int64_t rows) {
    for (int32_t gestures = 2; gestures <= static_cast<int32_t>(MAX_GESTURES); ++gestures)
        if (modelRowsForGestures(gestures) == rows) return gestures;
    return 0;
}

// A raw EMG packet holds this many frames of one byte per enabled channel.
constexpr uint32_t EMG_FRAMES_PER_PACKET = 16;

// Feature and identification windows span 130 frames (200 ms at EMG_FRAMES_PER_SECOND).
// Identification windows overlap by half: each starts WINDOW_HALF_FRAMES after
// the one before, and only its first half is new.
constexpr uint32_t WINDOW_FRAMES = 130;
constexpr uint32_t WINDOW_HALF_FRAMES = WINDOW_FRAMES / 2;
