// Feature extraction: one gesture's raw recording becomes the per-channel mean
// absolute values of its active 130-frame windows, appended to a text file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

constexpr uint32_t FEATURE_WINDOW_FRAMES = 130;
constexpr uint32_t MAX_CHANNELS = 8;
constexpr uint32_t MIN_RECORDING_FRAMES = 132;  // shorter recordings cannot give a model

// The complete raw recording of each selected gesture, by gesture number 1..8.
using RecordingSet = std::map<uint8_t, std::shared_ptr<std::vector<uint8_t>>>;

// The features of one recording in memory: channels values per active window, in
// window order. channels must be 1..8.
std::vector<float> windowFeatures(const uint8_t* bytes, size_t length, uint32_t channels);

// Appends the features of one recording to "feature" + name + ".txt".
// 0 success, 1 the file cannot be opened, 2 channels is 0 or above 8 (nothing written).
int extractFeatures(const std::string& name, const uint8_t* bytes, size_t length, uint32_t channels);
