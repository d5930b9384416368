// Live gesture identification: the pairwise model loaded from "W&B.txt" votes on
// overlapping 130-frame windows, with idle/active detection and smoothing.
#pragma once

#include <cstdint>

constexpr uint32_t IDENTIFY_HALF_FRAMES = 65;
constexpr uint8_t NO_GESTURE = 0xFF;

struct PairRecord {
    float bias = 0;
    float w[8] = {};
};

struct IdentifyModel {
    uint8_t gestures = 0;
    uint8_t channels = 0;
    PairRecord pairs[28];  // pair (i, j), i < j, in "W&B.txt" line order
};

struct IdentifyState {
    float offset[8] = {};                           // per-channel baseline
    uint8_t storedHalf[8 * IDENTIFY_HALF_FRAMES] = {};  // first half of the previous chunk
    bool primed = false;
    bool idle = true;
    float lastMav = 0;
    float prevVar = 0;
    float curVar = 0;
    float channelMav[8] = {};  // feature accumulators, kept across active windows
    int32_t activeCount = 0;   // windows classified since the last activation
    int32_t history[3] = {};   // h2 (oldest), h1, h0 (newest)
    uint32_t tally[9] = {};    // smoothed answers per class 1..8
};

// A shape the fixed arrays can hold: columns-1 in 1..8 and rows == G(G-1)/2 for some G in 2..8.
bool modelShapeUsable(int32_t rows, int32_t columns);

// Logs the model load, reads rows x columns numbers from "W&B.txt", fills model and
// resets state. 0 success; -1 the file cannot be opened; -2 the shape is not usable
// (nothing read). On failure model and state are untouched.
int loadIdentifyModel(int32_t rows, int32_t columns, IdentifyModel& model, IdentifyState& state);

void resetIdentifyState(IdentifyState& state);

// Class number 0..G (0: no gesture) for one chunk of channels*130 bytes, of which
// the first channels*65 are read.
int identifyChunk(const uint8_t* chunk, IdentifyState& state, const IdentifyModel& model);

// Class number 1..G with the most pair votes on one feature vector (channels
// values); a pair decides for its lower class when its value is >= 0, and the
// higher class wins equal vote counts.
int32_t voteClass(const float* features, const IdentifyModel& model);

// Gesture number of class classNumber: the classNumber-th set bit of the mask
// (bit 0 = gesture 1); NO_GESTURE for 0, above 8, or too few set bits.
uint8_t gestureForClass(int classNumber, uint8_t gestureMask);
