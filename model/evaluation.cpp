#include "model/evaluation.h"

#include <cstdio>

#include "core/data_files.h"
#include "core/operating_state.h"
#include "model/identify.h"
#include "model/training.h"

namespace {

// What a reader of the text files gets back: features are stored with "%f", the
// weights as a stream writes a float (six significant digits), and both are read
// back as parseTextNumber reads them. A value that is not finite stays as it is.
float throughText(float value, const char* format) {
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<double>(value));
    return parseTextNumber(text).value_or(value);
}

// The pairwise model "W&B.txt" would hold for these per-class features (keys 1..G),
// in the form identification loads it.
IdentifyModel trainInMemory(const FeatureMap& features, int32_t gestures, uint32_t channels) {
    IdentifyModel model;
    model.gestures = static_cast<uint8_t>(gestures);
    model.channels = static_cast<uint8_t>(channels);
    PairRecord* record = model.pairs;
    for (int32_t p = 1; p < gestures; ++p) {
        for (int32_t q = p + 1; q <= gestures; ++q, ++record) {
            SolverParams params;
            PairModel pair;
            trainPair(buildPairProblem(features, p, q, channels), params, pair);
            for (uint32_t c = 0; c < channels; ++c) record->w[c] = throughText(pair.w[c], "%g");
            record->bias = throughText(pair.b, "%g");
        }
    }
    return model;
}

// Features of every class (index k = class k + 1) restricted to the windows for
// which keep(class, window) holds, as the trainer's feature map.
template <typename Keep>
FeatureMap selectWindows(const std::vector<std::vector<float>>& features, uint32_t channels, Keep keep) {
    FeatureMap map;
    for (size_t k = 0; k < features.size(); ++k) {
        std::vector<float>& values = map[static_cast<int32_t>(k + 1)];
        const size_t windows = features[k].size() / channels;
        for (size_t w = 0; w < windows; ++w)
            if (keep(k, w))
                values.insert(values.end(), features[k].begin() + w * channels,
                              features[k].begin() + (w + 1) * channels);
    }
    return map;
}

// The gesture (not class) that most of class k's held-out misses went to; the
// lower gesture on equal counts.
uint8_t mostConfusedWith(const Evaluation& result, size_t k) {
    size_t worst = k;
    for (size_t m = 0; m < result.gestures.size(); ++m)
        if (m != k && (worst == k || result.confusion[k][m] > result.confusion[k][worst])) worst = m;
    return worst == k ? 0 : result.gestures[worst].gesture;
}

// One line of reason when the recordings cannot be evaluated, else empty; fills the
// features of every selected gesture in ascending gesture order.
std::string loadFeatures(const RecordingSet& recordings, uint8_t gestureMask, uint32_t channels, uint32_t folds,
                         std::vector<std::vector<float>>& features) {
    if (bitCount(gestureMask) < 2) return "select at least two gestures";
    if (channels == 0) return "the channel mask selects no channel";
    if (folds < 2) return "the number of folds must be at least 2";
    for (int g = 1; g <= 8; ++g) {
        if (!((gestureMask >> (g - 1)) & 1u)) continue;
        const auto found = recordings.find(static_cast<uint8_t>(g));
        if (found == recordings.end() || !found->second) return "gesture " + std::to_string(g) + " has no recording";
        const std::vector<uint8_t>& bytes = *found->second;
        if (bytes.size() < channels * MIN_RECORDING_FRAMES)
            return "the recording of gesture " + std::to_string(g) + " is too short (" + std::to_string(bytes.size()) +
                   " bytes, at least " + std::to_string(channels * MIN_RECORDING_FRAMES) + " needed)";
        features.push_back(windowFeatures(bytes.data(), bytes.size(), channels));
        const size_t windows = features.back().size() / channels;
        if (windows < folds)
            return "the recording of gesture " + std::to_string(g) + " has " + std::to_string(windows) +
                   " active windows, fewer than the " + std::to_string(folds) + " folds";
    }
    return {};
}

}  // namespace

std::vector<uint32_t> foldAssignment(size_t windows, uint32_t folds) {
    std::vector<uint32_t> fold(windows);
    for (size_t w = 0; w < windows; ++w) fold[w] = static_cast<uint32_t>(w * folds / windows);
    return fold;
}

int evaluateRecordings(const RecordingSet& recordings, uint8_t gestureMask, uint8_t channelMask, uint32_t folds,
                       Evaluation& result, std::string& error) {
    const uint32_t channels = bitCount(channelMask);
    std::vector<std::vector<float>> features;
    error = loadFeatures(recordings, gestureMask, channels, folds, features);
    if (!error.empty()) return -1;
    // The trainer sees the features as the feature files hold them.
    for (std::vector<float>& values : features)
        for (float& value : values) value = throughText(value, "%f");

    const size_t classes = features.size();
    const int32_t gestures = static_cast<int32_t>(classes);
    std::vector<std::vector<uint32_t>> foldOf;
    for (const std::vector<float>& values : features) foldOf.push_back(foldAssignment(values.size() / channels, folds));

    Evaluation evaluation;
    evaluation.channels = channels;
    evaluation.folds = folds;
    evaluation.confusion.assign(classes, std::vector<uint32_t>(classes, 0));
    for (uint32_t f = 0; f < folds; ++f) {
        const IdentifyModel model =
            trainInMemory(selectWindows(features, channels, [&](size_t k, size_t w) { return foldOf[k][w] != f; }),
                          gestures, channels);
        for (size_t k = 0; k < classes; ++k)
            for (size_t w = 0; w < foldOf[k].size(); ++w)
                if (foldOf[k][w] == f) ++evaluation.confusion[k][voteClass(&features[k][w * channels], model) - 1];
    }

    const IdentifyModel full =
        trainInMemory(selectWindows(features, channels, [](size_t, size_t) { return true; }), gestures, channels);
    for (size_t k = 0; k < classes; ++k) {
        GestureEvaluation gesture;
        gesture.gesture = gestureForClass(static_cast<int>(k + 1), gestureMask);
        gesture.windows = static_cast<uint32_t>(foldOf[k].size());
        gesture.heldOutAccuracy = static_cast<double>(evaluation.confusion[k][k]) / gesture.windows;
        uint32_t right = 0;
        for (size_t w = 0; w < gesture.windows; ++w)
            right += voteClass(&features[k][w * channels], full) == static_cast<int32_t>(k + 1);
        gesture.trainingAccuracy = static_cast<double>(right) / gesture.windows;
        evaluation.meanHeldOutAccuracy += gesture.heldOutAccuracy / static_cast<double>(classes);
        evaluation.gestures.push_back(gesture);
    }
    for (size_t k = 0; k < classes; ++k)
        if (evaluation.gestures[k].heldOutAccuracy < RECORD_AGAIN_BELOW)
            evaluation.gestures[k].confusedWith = mostConfusedWith(evaluation, k);
    result = std::move(evaluation);
    return 0;
}
