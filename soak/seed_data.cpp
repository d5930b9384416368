#include "soak/seed_data.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr unsigned CHANNELS = 8;
constexpr unsigned FRAMES_PER_SECOND = 650;
constexpr unsigned PACKET_FRAMES = 16;
constexpr unsigned HOLD_FRAMES = FRAMES_PER_SECOND * 3 / 2;
constexpr double BASELINE = 123.0;
constexpr double REST_NOISE = 1.0;

// Activity of channel c while gesture g is held: two strong channels and a
// weaker neighbour, a different pair for every gesture.
double amplitude(unsigned g, unsigned c) {
    const unsigned first = (2 * (g - 1)) % CHANNELS;
    if (c == first || c == (first + 1) % CHANNELS) return 28.0;
    if (c == (first + 2) % CHANNELS) return 10.0;
    return 2.0;
}

}  // namespace

std::string seedRecording(unsigned gesture, unsigned seconds) {
    std::mt19937 random(1000 + gesture);
    std::normal_distribution<double> noise(0.0, 1.0);
    unsigned frames = seconds * FRAMES_PER_SECOND;
    frames -= frames % PACKET_FRAMES;
    std::string bytes;
    bytes.reserve(static_cast<size_t>(frames) * CHANNELS);
    for (unsigned f = 0; f < frames; ++f) {
        const bool holding = (f / HOLD_FRAMES) % 2 == 1;
        for (unsigned c = 0; c < CHANNELS; ++c) {
            const double spread = holding ? amplitude(gesture, c) : REST_NOISE;
            const double value = std::round(BASELINE + spread * noise(random));
            bytes.push_back(static_cast<char>(static_cast<uint8_t>(std::clamp(value, 0.0, 255.0))));
        }
    }
    return bytes;
}
