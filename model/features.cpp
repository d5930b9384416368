#include "model/features.h"

#include <cmath>
#include <string>
#include <vector>

#include "core/data_files.h"
#include "model/number_format.h"
#include "platform/files.h"

namespace {

constexpr float WINDOW_FRAMES_F = static_cast<float>(WINDOW_FRAMES);
constexpr uint32_t WINDOWS_SIDE_BY_SIDE = 8;

// Every sum below is accumulated in the order the feature definition gives
// (frames in time order, channels in channel order), but independent sums run
// side by side: the channels of a frame, or several windows. No float
// operation is reordered, so the values are bit for bit those of the plain
// loops; only the waiting of one addition on the previous one is gone.
// The channel count is a template argument so that the channel loops unroll.
template <uint32_t C>
class Recording {
public:
    Recording(const uint8_t* bytes, size_t frames) : bytes_(bytes), frames_(frames) {
        float sum[C] = {};
        for (size_t f = 0; f < frames; ++f)
            for (uint32_t c = 0; c < C; ++c) sum[c] = sum[c] + static_cast<float>(bytes[f * C + c]);
        for (uint32_t c = 0; c < C; ++c) mean_[c] = sum[c] / static_cast<float>(frames);
    }

    // Offset-free sample: the byte minus its channel's mean.
    float y(size_t f, uint32_t c) const { return static_cast<float>(bytes_[f * C + c]) - mean_[c]; }

    // Population variance of the channel-average signal over each whole window.
    std::vector<float> windowVariances() const {
        std::vector<float> average(frames_);
        for (size_t f = 0; f < frames_; ++f) {
            float sum = 0.0f;
            for (uint32_t c = 0; c < C; ++c) sum = sum + y(f, c);
            average[f] = sum / static_cast<float>(C);
        }
        const size_t windows = frames_ / WINDOW_FRAMES;
        std::vector<float> variance(windows);
        size_t w = 0;
        for (; w + WINDOWS_SIDE_BY_SIDE <= windows; w += WINDOWS_SIDE_BY_SIDE)
            varianceOf<WINDOWS_SIDE_BY_SIDE>(average.data(), w, variance.data());
        for (; w < windows; ++w) varianceOf<1>(average.data(), w, variance.data());
        return variance;
    }

    // Mean absolute offset-free value of each channel over one window.
    void appendWindowMav(size_t window, std::vector<float>& features) const {
        float sum[C] = {};
        const size_t first = window * WINDOW_FRAMES;
        for (uint32_t i = 0; i < WINDOW_FRAMES; ++i)
            for (uint32_t c = 0; c < C; ++c) sum[c] = sum[c] + std::fabs(y(first + i, c));
        for (uint32_t c = 0; c < C; ++c) features.push_back(sum[c] / WINDOW_FRAMES_F);
    }

private:
    // The variances of windows w .. w+N-1.
    template <uint32_t N>
    static void varianceOf(const float* average, size_t w, float* variance) {
        const float* a = average + w * WINDOW_FRAMES;
        float sum[N] = {};
        for (uint32_t i = 0; i < WINDOW_FRAMES; ++i)
            for (uint32_t k = 0; k < N; ++k) sum[k] = sum[k] + a[k * WINDOW_FRAMES + i];
        float mean[N];
        for (uint32_t k = 0; k < N; ++k) mean[k] = sum[k] / WINDOW_FRAMES_F;
        float squares[N] = {};
        for (uint32_t i = 0; i < WINDOW_FRAMES; ++i) {
            for (uint32_t k = 0; k < N; ++k) {
                const float d = a[k * WINDOW_FRAMES + i] - mean[k];
                squares[k] = squares[k] + d * d;
            }
        }
        for (uint32_t k = 0; k < N; ++k) variance[w + k] = squares[k] / WINDOW_FRAMES_F;
    }

    const uint8_t* bytes_;
    size_t frames_;
    float mean_[C];
};

// Activity starts when two consecutive windows exceed the mean variance and ends
// (that window still emitted) when the next two fall below it.
template <uint32_t C>
std::vector<float> activeWindowFeatures(const Recording<C>& recording) {
    std::vector<float> features;
    const std::vector<float> variance = recording.windowVariances();
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
        recording.appendWindowMav(k, features);
    }
    return features;
}

// Every value as printf's "%f " writes it on glibc, on every system.
std::string featureText(const std::vector<float>& features) {
    std::string text;
    text.reserve(features.size() * 12);
    for (float value : features) {
        appendFixedNumber(text, static_cast<double>(value));
        text.push_back(' ');
    }
    return text;
}

template <uint32_t C>
std::vector<float> featuresOf(const uint8_t* bytes, size_t length) {
    return activeWindowFeatures(Recording<C>(bytes, length / C));
}

}  // namespace

std::vector<float> windowFeatures(const uint8_t* bytes, size_t length, uint32_t channels) {
    switch (channels) {
        case 1: return featuresOf<1>(bytes, length);
        case 2: return featuresOf<2>(bytes, length);
        case 3: return featuresOf<3>(bytes, length);
        case 4: return featuresOf<4>(bytes, length);
        case 5: return featuresOf<5>(bytes, length);
        case 6: return featuresOf<6>(bytes, length);
        case 7: return featuresOf<7>(bytes, length);
        case 8: return featuresOf<8>(bytes, length);
        default: return {};
    }
}

FeatureResult appendFeatureFile(const std::string& name, const std::vector<float>& features) {
    const std::string text = featureText(features);
    FILE* file = nullptr;
    if (!platform::openForAppending(featureFileName(name), file)) return FEATURES_FILE_FAILED;
    // A file cut short (a full disk) must not pass as the gesture's features.
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? FEATURES_OK : FEATURES_FILE_FAILED;
}

FeatureResult extractFeatures(const std::string& name, const uint8_t* bytes, size_t length, uint32_t channels) {
    if (channels == 0 || channels > MAX_CHANNELS) return FEATURES_BAD_CHANNELS;
    return appendFeatureFile(name, windowFeatures(bytes, length, channels));
}
