#include "model/features.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr float WINDOW_FRAMES_F = static_cast<float>(WINDOW_FRAMES);

// Offset-free samples y[f][c] (frame-major) after subtracting each channel's mean.
std::vector<float> removeChannelMeans(const uint8_t* bytes, size_t frames, uint32_t channels) {
    std::vector<float> y(frames * channels);
    for (uint32_t c = 0; c < channels; ++c) {
        float sum = 0.0f;
        for (size_t f = 0; f < frames; ++f) sum = sum + static_cast<float>(bytes[f * channels + c]);
        const float mean = sum / static_cast<float>(frames);
        for (size_t f = 0; f < frames; ++f) y[f * channels + c] = static_cast<float>(bytes[f * channels + c]) - mean;
    }
    return y;
}

// Population variance of the channel-average signal over each whole window.
std::vector<float> windowVariances(const std::vector<float>& y, size_t frames, uint32_t channels) {
    std::vector<float> average(frames);
    for (size_t f = 0; f < frames; ++f) {
        float sum = 0.0f;
        for (uint32_t c = 0; c < channels; ++c) sum = sum + y[f * channels + c];
        average[f] = sum / static_cast<float>(channels);
    }

    const size_t windows = frames / WINDOW_FRAMES;
    std::vector<float> variance(windows);
    for (size_t w = 0; w < windows; ++w) {
        const float* a = &average[w * WINDOW_FRAMES];
        float sum = 0.0f;
        for (uint32_t i = 0; i < WINDOW_FRAMES; ++i) sum = sum + a[i];
        const float mean = sum / WINDOW_FRAMES_F;
        float squares = 0.0f;
        for (uint32_t i = 0; i < WINDOW_FRAMES; ++i) {
            const float d = a[i] - mean;
            squares = squares + d * d;
        }
        variance[w] = squares / WINDOW_FRAMES_F;
    }
    return variance;
}

void appendWindowMav(const std::vector<float>& y, size_t window, uint32_t channels, std::vector<float>& features) {
    const float* first = &y[window * WINDOW_FRAMES * channels];
    for (uint32_t c = 0; c < channels; ++c) {
        float sum = 0.0f;
        for (uint32_t i = 0; i < WINDOW_FRAMES; ++i) sum = sum + std::fabs(first[i * channels + c]);
        features.push_back(sum / WINDOW_FRAMES_F);
    }
}

// Activity starts when two consecutive windows exceed the mean variance and ends
// (that window still emitted) when the next two fall below it.
std::vector<float> activeWindowFeatures(const std::vector<float>& y, const std::vector<float>& variance,
                                        uint32_t channels) {
    std::vector<float> features;
    const size_t windows = variance.size();
    if (windows < 3) return features;
    float sum = 0.0f;
    for (float v : variance) sum = sum + v;
    const float threshold = sum / static_cast<float>(windows);

    bool active = false;
    for (size_t k = 0; k + 2 < windows; ++k) {
        if (!active) {
            if (variance[k] > threshold && variance[k + 1] > threshold) active = true;
            continue;
        }
        if (variance[k + 1] < threshold && variance[k + 2] < threshold) active = false;
        appendWindowMav(y, k, channels, features);
    }
    return features;
}

}  // namespace

std::vector<float> windowFeatures(const uint8_t* bytes, size_t length, uint32_t channels) {
    const size_t frames = length / channels;
    const std::vector<float> y = removeChannelMeans(bytes, frames, channels);
    return activeWindowFeatures(y, windowVariances(y, frames, channels), channels);
}

FeatureResult extractFeatures(const std::string& name, const uint8_t* bytes, size_t length, uint32_t channels) {
    if (channels == 0 || channels > MAX_CHANNELS) return FEATURES_BAD_CHANNELS;

    const std::string fileName = "feature" + name + ".txt";
    const std::vector<float> features = windowFeatures(bytes, length, channels);

    FILE* file = std::fopen(fileName.c_str(), "a");
    if (file == nullptr) return FEATURES_FILE_FAILED;
    for (float value : features) std::fprintf(file, "%f ", value);
    std::fclose(file);
    return FEATURES_OK;
}
