// Feature extraction: one gesture's raw recording becomes the per-channel mean
// absolute values of its active 130-frame windows, appended to a text file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/emg_geometry.h"

// Appends the features of one recording to "feature" + name + ".txt".
// 0 success, 1 the file cannot be opened, 2 channels is 0 or above 8 (nothing written).
int extractFeatures(const std::string& name, const uint8_t* bytes, size_t length, uint32_t channels);
