#include "bench/training_sets.h"

#include <algorithm>
#include <cmath>

#include "core/emg_geometry.h"
#include "core/operating_state.h"
#include "sim/random_source.h"

namespace {

constexpr uint32_t HOLD_FRAMES = 2 * EMG_FRAMES_PER_SECOND;
constexpr uint32_t REST_FRAMES = 2 * EMG_FRAMES_PER_SECOND;
constexpr double BASELINE = 122.0;
constexpr double REST_NOISE = 1.2;
constexpr double AMPLITUDE = 60.0;
constexpr double GAIN_SPREAD = 0.02;  // per hold and channel, 1 +- this

std::vector<uint8_t> gestureRecording(const TrainingSet& set, int gesture, const double (&pattern)[8]) {
    kv::sim::RandomSource random(set.seed * 16 + static_cast<uint32_t>(gesture));
    const uint32_t frames = set.seconds * EMG_FRAMES_PER_SECOND;
    std::vector<uint8_t> bytes;
    if (gesture == set.flatGesture) {
        bytes.assign(static_cast<size_t>(frames) * bitCount(set.channelMask), static_cast<uint8_t>(BASELINE));
        return bytes;
    }
    double gain[8] = {};
    for (uint32_t f = 0; f < frames; ++f) {
        const uint32_t phase = f % (HOLD_FRAMES + REST_FRAMES);
        if (phase == 0)
            for (double& g : gain) g = random.uniform(1.0 - GAIN_SPREAD, 1.0 + GAIN_SPREAD);
        const bool holding = phase < HOLD_FRAMES;
        for (int c = 0; c < 8; ++c) {
            const double active = holding ? pattern[c] * AMPLITUDE * gain[c] : 0.0;
            const double spread = std::sqrt(REST_NOISE * REST_NOISE + active * active);
            const double sample = std::round(BASELINE + spread * random.gaussian());
            if (set.channelMask & (1u << c)) bytes.push_back(static_cast<uint8_t>(std::clamp(sample, 0.0, 255.0)));
        }
    }
    return bytes;
}

}  // namespace

RecordingSet recordTrainingSet(const TrainingSet& set) {
    kv::sim::RandomSource random(set.seed);
    double common[8];
    for (double& a : common) a = random.uniform(0.1, 1.0);
    RecordingSet recordings;
    for (int g = 1; g <= 8; ++g) {
        double pattern[8];
        for (double& a : pattern)  // drawn for every gesture, so a pattern does not depend on the mask
            a = (1.0 - set.overlap) * random.uniform(0.1, 1.0);
        for (int c = 0; c < 8; ++c) pattern[c] += set.overlap * common[c];
        if (set.gestureMask & (1u << (g - 1)))
            recordings[static_cast<uint8_t>(g)] =
                std::make_shared<std::vector<uint8_t>>(gestureRecording(set, g, pattern));
    }
    return recordings;
}
