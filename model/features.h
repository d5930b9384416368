// Feature extraction: one gesture's raw recording becomes the per-channel mean
// absolute values of its active 130-frame windows, appended to a text file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/emg_geometry.h"

constexpr uint32_t MIN_RECORDING_FRAMES = 132;  // shorter recordings cannot give a model

// The complete raw recording of each selected gesture, by gesture number 1..8.
using RecordingSet = std::map<uint8_t, std::shared_ptr<std::vector<uint8_t>>>;

enum FeatureResult : int {
    FEATURES_OK = 0,
    FEATURES_FILE_FAILED = 1,   // the feature file cannot be opened, or not written whole
    FEATURES_BAD_CHANNELS = 2,  // channels is 0 or above MAX_CHANNELS; nothing written
};

// The features of one recording in memory: channels values per active window, in
// window order. channels must be 1..MAX_CHANNELS.
std::vector<float> windowFeatures(const uint8_t* bytes, size_t length, uint32_t channels);

// Appends features to featureFileName(name), each value as "%f " writes it.
FeatureResult appendFeatureFile(const std::string& name, const std::vector<float>& features);

// Appends the features of one recording to featureFileName(name).
FeatureResult extractFeatures(const std::string& name, const uint8_t* bytes, size_t length, uint32_t channels);
