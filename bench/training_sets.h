// Deterministic recordings for model generation, shared by the golden test of
// "W&B.txt" and the training benchmark: every gesture is held for 2 s and
// rested for 2 s in turns, and its channels are active in a pattern that moves
// from the gesture's own towards a pattern common to all gestures as the
// overlap goes from 0 to 1. Strong, nearly coinciding gestures (overlap 0.87)
// make some pairs run to the solver's iteration limit.
#pragma once

#include <cstdint>

#include "commands/generate_model.h"

struct TrainingSet {
    const char* name;
    double overlap;       // 0 well separated gestures .. 1 all gestures alike
    uint8_t gestureMask;  // the gestures recorded, as MODEL_GENERATE takes them
    uint8_t channelMask;
    uint32_t seconds;  // per gesture
    int flatGesture;   // this gesture's recording is a flat line (no features); 0 none
    uint32_t seed;
};

// The benchmark's three sets of 8 gestures x 8 channels x 150 s first, then
// smaller ones: few gestures and channels, and a gesture without features.
inline constexpr TrainingSet TRAINING_SETS[] = {
    {"separated", 0.3, 0xFF, 0xFF, 150, 0, 7},      {"overlapping", 0.8, 0xFF, 0xFF, 150, 0, 7},
    {"coinciding", 0.87, 0xFF, 0xFF, 150, 0, 7},    {"coinciding_2x1", 0.87, 0x12, 0x04, 60, 0, 3},
    {"overlapping_5x3", 0.8, 0x5D, 0x92, 40, 0, 4}, {"flat_gesture_4x6", 0.3, 0x0F, 0x3F, 30, 3, 5},
};

// One raw recording per selected gesture, frames of the channels in channelMask.
RecordingSet recordTrainingSet(const TrainingSet& set);
