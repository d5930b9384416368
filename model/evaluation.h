// Held-out evaluation of the gesture model: k-fold cross-validation over each
// gesture's active windows, with the features, the pair trainer and the pairwise
// vote that generation and identification use. Works in memory; touches no file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/features.h"

constexpr uint32_t DEFAULT_EVALUATION_FOLDS = 5;
constexpr double RECORD_AGAIN_BELOW = 0.8;  // held-out accuracy under which a gesture gets advice

struct GestureEvaluation {
    uint8_t gesture = 0;          // 1..8
    uint32_t windows = 0;         // active windows of its recording
    double heldOutAccuracy = 0;   // share of its windows classified right by the models that never saw them
    double trainingAccuracy = 0;  // share classified right by the model trained on every window
    uint8_t confusedWith = 0;     // under RECORD_AGAIN_BELOW: the gesture most of its misses went to; else 0
};

struct Evaluation {
    uint32_t channels = 0;
    uint32_t folds = 0;
    std::vector<GestureEvaluation> gestures;       // ascending gesture number, i.e. class order
    std::vector<std::vector<uint32_t>> confusion;  // held-out windows, [true class][predicted class]
    double meanHeldOutAccuracy = 0;                // mean over the gestures, each counting once
};

// The fold of each of `windows` consecutive windows: folds are contiguous blocks in
// time order (fold numbers never decrease), their sizes differ by at most one.
std::vector<uint32_t> foldAssignment(size_t windows, uint32_t folds);

// Evaluates the recordings of the gestures in gestureMask with channelMask's channel
// count. 0 success; -1 bad input (a selected gesture without recording, fewer than
// two gestures, no channel, fewer than two folds, a recording too short for the
// model or with fewer active windows than folds): error holds a one-line reason
// and result is untouched.
int evaluateRecordings(const RecordingSet& recordings, uint8_t gestureMask, uint8_t channelMask, uint32_t folds,
                       Evaluation& result, std::string& error);
