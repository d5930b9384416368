#include "commands/generate_model.h"

#include <cstdio>
#include <string>

#include "core/data_files.h"
#include "core/logger.h"
#include "core/operating_state.h"
#include "model/features.h"
#include "model/parallel_for.h"
#include "model/training.h"
#include "platform/files.h"

namespace {

bool selected(uint8_t gestureMask, int gesture) {
    return (gestureMask >> (gesture - 1)) & 1u;
}

}  // namespace

void removeFeatureFiles() {
    for (int k = 0; k <= 8; ++k) std::remove(featureFileName(k).c_str());
}

GenerateResult generateModel(const RecordingSet& recordings, uint8_t gestureMask, uint8_t channelMask) {
    for (int g = 1; g <= 8; ++g) {
        if (selected(gestureMask, g) && recordings.find(static_cast<uint8_t>(g)) == recordings.end()) {
            return GENERATE_MISSING_RECORDING;
        }
    }
    const uint32_t channels = bitCount(channelMask);
    const int32_t gestures = bitCount(gestureMask);
    if (channels == 0 || gestures < 2) return GENERATE_UNUSABLE_CONFIG;

    // Feature files left by an earlier failed generation would be appended to
    // and would block the renaming below.
    removeFeatureFiles();
    // The gestures in order up to the first recording too short for a model; their
    // features are computed side by side and written in order, so the files on
    // disk after a failure are those of the gestures before it.
    std::vector<int> usable;
    bool tooShort = false;
    for (int g = 1; g <= 8 && !tooShort; ++g) {
        if (!selected(gestureMask, g)) continue;
        tooShort = recordings.at(static_cast<uint8_t>(g))->size() < channels * MIN_RECORDING_FRAMES;
        if (!tooShort) usable.push_back(g);
    }
    std::vector<std::vector<float>> features(usable.size());
    parallelFor(usable.size(), [&](size_t k) {
        const std::vector<uint8_t>& recording = *recordings.at(static_cast<uint8_t>(usable[k]));
        features[k] = windowFeatures(recording.data(), recording.size(), channels);
    });
    for (size_t k = 0; k < usable.size(); ++k) {
        if (appendFeatureFile(std::to_string(usable[k]), features[k]) != FEATURES_OK) return GENERATE_FEATURES_FAILED;
    }
    if (tooShort) return GENERATE_FEATURES_FAILED;
    for (int g = 1; g <= 8; ++g) {
        if (!selected(gestureMask, g)) continue;
        std::FILE* file = std::fopen(featureFileName(g).c_str(), "r");
        if (!file) return GENERATE_FEATURE_FILE_MISSING;
        std::fclose(file);
    }
    int k = 0;
    for (int g = 1; g <= 8; ++g) {
        if (!selected(gestureMask, g)) continue;
        ++k;
        if (k != g) std::rename(featureFileName(g).c_str(), featureFileName(k).c_str());
    }
    if (trainModel(gestures, channels) != TRAIN_OK) {
        const char* why = platform::isSymbolicLink(MODEL_FILE_NAME) ? "it is a symbolic link" : "a write failed";
        logPrint(LOG_DEBUG, LOG_TAG, "%s not replaced (%s); the previous model stays", MODEL_FILE_NAME, why);
        return GENERATE_MODEL_NOT_WRITTEN;
    }
    return GENERATE_OK;
}
