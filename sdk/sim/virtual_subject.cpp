#include "sim/virtual_subject.h"

#include <algorithm>
#include <cmath>

namespace kv::sim {
namespace {

constexpr double kPi = 3.14159265358979323846;

constexpr std::array<double, VirtualSubject::CHANNEL_COUNT> kBaseline = {123.7, 122.7, 122.3, 122.0,
                                                                         122.1, 122.2, 122.2, 121.8};

constexpr double kRestNoise = 1.2;        // std of a resting channel
constexpr double kHoldGainSpread = 0.18;  // per-hold gain in 1 +- this
constexpr double kModulationDepth = 0.25;
constexpr double kModulationMinHz = 1.0;
constexpr double kModulationMaxHz = 3.0;

struct GesturePattern {
    double amplitude;  // noise std of a fully activated channel
    std::array<double, VirtualSubject::CHANNEL_COUNT> activation;
};

// Channels 0..3 lie over the flexors, 4..7 over the extensors. Every gesture
// involves several channels at different levels and neighbouring gestures
// share channels, so the patterns overlap as real forearm EMG does.
constexpr std::array<GesturePattern, VirtualSubject::GESTURE_COUNT> kPatterns = {{
    {22.0, {0.90, 1.00, 0.80, 0.40, 0.30, 0.50, 0.60, 0.70}},  // 1 fist
    {24.0, {0.30, 0.20, 0.40, 0.70, 1.00, 0.90, 0.60, 0.40}},  // 2 spread
    {24.0, {1.00, 0.70, 0.30, 0.15, 0.10, 0.20, 0.40, 0.80}},  // 3 wave in
    {26.0, {0.20, 0.30, 0.60, 1.00, 0.80, 0.40, 0.20, 0.15}},  // 4 wave out
    {20.0, {0.50, 0.90, 1.00, 0.50, 0.20, 0.15, 0.20, 0.30}},  // 5 pinch
    {21.0, {0.20, 0.15, 0.20, 0.40, 0.60, 1.00, 1.00, 0.50}},  // 6 shoot
    {22.0, {0.70, 0.30, 0.20, 0.30, 0.70, 0.30, 0.20, 0.90}},  // 7 user defined 1
    {21.0, {0.30, 0.50, 0.90, 0.30, 0.20, 0.90, 0.40, 0.20}},  // 8 user defined 2
}};

}  // namespace

VirtualSubject::VirtualSubject(uint32_t seed) : random_(seed) {
    startHold();
}

void VirtualSubject::reseed(uint32_t seed) {
    random_.reseed(seed);
    startHold();
}

void VirtualSubject::setGesture(int gesture) {
    if (gesture < 0 || gesture > GESTURE_COUNT || gesture == gesture_) return;
    gesture_ = gesture;
    startHold();
}

int VirtualSubject::gesture() const {
    return gesture_;
}

double VirtualSubject::baseline(int channel) {
    return kBaseline[static_cast<size_t>(std::clamp(channel, 0, CHANNEL_COUNT - 1))];
}

void VirtualSubject::startHold() {
    frameInHold_ = 0;
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        gain_[c] = random_.uniform(1.0 - kHoldGainSpread, 1.0 + kHoldGainSpread);
        modulationHz_[c] = random_.uniform(kModulationMinHz, kModulationMaxHz);
        modulationPhase_[c] = random_.uniform(0.0, 2.0 * kPi);
    }
}

void VirtualSubject::nextFrame(uint8_t channelMask, uint8_t* out) {
    const double seconds = static_cast<double>(frameInHold_) / FRAME_RATE;
    ++frameInHold_;
    // Every channel draws its noise whatever the mask, so a channel's signal
    // does not depend on which other channels are read.
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        double spread = kRestNoise;
        if (gesture_ > 0) {
            const GesturePattern& pattern = kPatterns[static_cast<size_t>(gesture_ - 1)];
            const double modulation =
                1.0 + kModulationDepth * std::sin(2.0 * kPi * modulationHz_[c] * seconds + modulationPhase_[c]);
            const double active = pattern.activation[c] * pattern.amplitude * gain_[c] * modulation;
            spread = std::sqrt(kRestNoise * kRestNoise + active * active);
        }
        const double sample = std::round(kBaseline[c] + spread * random_.gaussian());
        if (channelMask & (1u << c)) {
            *out++ = static_cast<uint8_t>(std::clamp(sample, 0.0, 255.0));
        }
    }
}

}  // namespace kv::sim
