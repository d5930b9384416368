// Live gesture identification: the pairwise model loaded from "W&B.txt" votes on
// overlapping 130-frame windows, with idle/active detection and smoothing.
#pragma once

#include <cstdint>

#include "core/emg_geometry.h"
constexpr uint8_t NO_GESTURE = 0xFF;

struct PairRecord {
    float bias = 0;
    float w[MAX_CHANNELS] = {};
};

struct IdentifyModel {
    uint8_t gestures = 0;
    uint8_t channels = 0;
    PairRecord pairs[MAX_GESTURE_PAIRS];  // pair (i, j), i < j, in "W&B.txt" line order
};

struct IdentifyState {
    float offset[MAX_CHANNELS] = {};                             // per-channel baseline
    uint8_t storedHalf[MAX_CHANNELS * WINDOW_HALF_FRAMES] = {};  // first half of the previous chunk
    bool primed = false;
    bool idle = true;
    float lastMav = 0;
    float prevVar = 0;
    float curVar = 0;
    float channelMav[MAX_CHANNELS] = {};    // feature accumulators, kept across active windows
    int32_t activeCount = 0;                // windows classified since the last activation
    int32_t history[3] = {};                // h2 (oldest), h1, h0 (newest)
    uint32_t tally[MAX_GESTURES + 1] = {};  // smoothed answers per class 1..8
};

// A shape the fixed arrays can hold: columns-1 in 1..8 and rows == G(G-1)/2 for some G in 2..8.
bool modelShapeUsable(int32_t rows, int32_t columns);

enum LoadResult : int {
    LOAD_OK = 0,
    LOAD_FILE_MISSING = -1,    // "W&B.txt" cannot be opened
    LOAD_SHAPE_UNUSABLE = -2,  // see modelShapeUsable; nothing read
};

// Logs the model load, reads rows x columns numbers from "W&B.txt", fills model and
// resets state. On failure model and state are untouched.
LoadResult loadIdentifyModel(int32_t rows, int32_t columns, IdentifyModel& model, IdentifyState& state);

void resetIdentifyState(IdentifyState& state);

// Class number 0..G (0: no gesture) for one chunk of channels * WINDOW_FRAMES
// bytes, of which the first channels * WINDOW_HALF_FRAMES are read.
int identifyChunk(const uint8_t* chunk, IdentifyState& state, const IdentifyModel& model);

// Class number 1..G with the most pair votes on one feature vector (channels
// values); a pair decides for its lower class when its value is >= 0, and the
// higher class wins equal vote counts.
int32_t voteClass(const float* features, const IdentifyModel& model);

// Gesture number of class classNumber: the classNumber-th set bit of the mask
// (bit 0 = gesture 1); NO_GESTURE for 0, above 8, or too few set bits.
uint8_t gestureForClass(int classNumber, uint8_t gestureMask);
