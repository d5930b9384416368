// Seeded random numbers that come out the same with every standard library:
// the engine is std::mt19937 (its output is fixed by the C++ standard), and
// the uniform and Gaussian transforms are our own rather than the library's
// implementation-defined distributions.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>

namespace kv::sim {

class RandomSource {
public:
    explicit RandomSource(uint32_t seed) : engine_(seed) {}

    void reseed(uint32_t seed) {
        engine_.seed(seed);
        hasSpare_ = false;
    }

    // Uniform in [0, 1), 53 bits.
    double uniform() {
        const uint64_t high = engine_() >> 5;
        const uint64_t low = engine_() >> 6;
        return (static_cast<double>(high) * 67108864.0 + static_cast<double>(low)) / 9007199254740992.0;
    }

    double uniform(double low, double high) { return low + (high - low) * uniform(); }

    // Standard normal (Box-Muller; the second value of each pair is kept).
    double gaussian() {
        if (hasSpare_) {
            hasSpare_ = false;
            return spare_;
        }
        const double radius = std::sqrt(-2.0 * std::log(1.0 - uniform()));
        const double angle = 2.0 * kPi * uniform();
        spare_ = radius * std::sin(angle);
        hasSpare_ = true;
        return radius * std::cos(angle);
    }

private:
    static constexpr double kPi = 3.14159265358979323846;
    std::mt19937 engine_;
    double spare_ = 0.0;
    bool hasSpare_ = false;
};

}  // namespace kv::sim
