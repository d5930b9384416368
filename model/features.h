// Feature extraction: one gesture's raw recording becomes the per-channel mean
// absolute values of its active 130-frame windows, appended to a text file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/emg_geometry.h"

enum FeatureResult : int {
    FEATURES_OK = 0,
    FEATURES_FILE_FAILED = 1,   // the feature file cannot be opened
    FEATURES_BAD_CHANNELS = 2,  // channels is 0 or above MAX_CHANNELS; nothing written
};

// Appends the features of one recording to "feature" + name + ".txt".
FeatureResult extractFeatures(const std::string& name, const uint8_t* bytes, size_t length, uint32_t channels);
