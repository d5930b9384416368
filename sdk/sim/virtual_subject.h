// The forearm behind the virtual armband: eight EMG channels around a resting
// baseline, and for each gesture 1..8 its own pattern of muscle activity.
//
// At rest every channel carries small Gaussian noise around its baseline. While
// a gesture is held, each channel carries Gaussian noise whose spread is the
// gesture's activation of that channel times the gesture's amplitude, slowly
// modulated within the hold and scaled by a per-channel gain that is drawn
// anew whenever a new hold starts. Samples are rounded and clipped to 0..255.
// The same seed and the same sequence of calls always give the same frames.
#pragma once

#include <array>
#include <cstdint>

#include "sim/random_source.h"

namespace kv::sim {

class VirtualSubject {
public:
    static constexpr int CHANNEL_COUNT = 8;
    static constexpr int GESTURE_COUNT = 8;
    static constexpr double FRAME_RATE = 650.0;  // frames per second

    explicit VirtualSubject(uint32_t seed = 1);

    // Restarts the random source; the current gesture starts a fresh hold.
    void reseed(uint32_t seed);

    // 0 rest, 1..8 a gesture; a change starts a new hold. Other values are ignored.
    void setGesture(int gesture);
    int gesture() const;

    // Writes one frame: one byte per channel set in channelMask, ascending channel order.
    void nextFrame(uint8_t channelMask, uint8_t* out);

    // The resting level of a channel (0..7), around which all its samples lie.
    static double baseline(int channel);

private:
    void startHold();

    RandomSource random_;
    int gesture_ = 0;
    uint64_t frameInHold_ = 0;
    std::array<double, CHANNEL_COUNT> gain_{};
    std::array<double, CHANNEL_COUNT> modulationHz_{};
    std::array<double, CHANNEL_COUNT> modulationPhase_{};
};

}  // namespace kv::sim
