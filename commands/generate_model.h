// Model generation: feature files from the recordings, then "W&B.txt".
#pragma once

#include <cstdint>

#include "model/features.h"

enum GenerateResult : int {
    GENERATE_OK = 0,
    GENERATE_MISSING_RECORDING = -1,
    GENERATE_FEATURES_FAILED = -2,  // a recording too short, or its feature file not written
    GENERATE_FEATURE_FILE_MISSING = -3,
    GENERATE_UNUSABLE_CONFIG = -4,  // fewer than two gestures or no channel: nothing touched
    GENERATE_MODEL_NOT_WRITTEN = -5,  // trained, but "W&B.txt" could not be replaced; the old one stays
};

GenerateResult generateModel(const RecordingSet& recordings, uint8_t gestureMask, uint8_t channelMask);

// Removes "feature0.txt" to "feature8.txt"; missing files are no error.
void removeFeatureFiles();
