#include "model/solver_loops.h"

#include <cmath>
#include <cstring>

namespace {

using Floats4 = float __attribute__((vector_size(16)));
using Ints4 = int32_t __attribute__((vector_size(16)));
using Floats8 = float __attribute__((vector_size(32)));
using Ints8 = int32_t __attribute__((vector_size(32)));

// Per lane the first largest key of the lane's own samples, in four independent
// sets of lanes so that no lane waits for the previous compare; then the lanes
// go to the largest key with the lowest index, and the samples after the last
// whole stride are offered in order. NaN candidates and -infinity-only
// candidates are not resolved here: the caller runs its plain loop then.
template <typename F, typename I>
class FirstLargestLanes {
public:
    static constexpr uint32_t WIDTH = sizeof(F) / sizeof(float);
    static constexpr uint32_t SETS = 4;
    static constexpr uint32_t STRIDE = SETS * WIDTH;

    FirstLargestLanes() {
        for (uint32_t u = 0; u < SETS; ++u) {
            for (uint32_t l = 0; l < WIDTH; ++l) {
                best_[u][l] = -INFINITY;
                sample_[u][l] = static_cast<int32_t>(u * WIDTH + l);
            }
        }
    }

    __attribute__((always_inline)) void add(uint32_t u, const F& key, const I& candidate) {
        nan_ |= candidate & (key != key);
        const I take = candidate & (key > best_[u]);
        best_[u] = take ? key : best_[u];
        bestIndex_[u] = take ? sample_[u] : bestIndex_[u];
        sample_[u] += static_cast<int32_t>(STRIDE);
    }

    __attribute__((always_inline)) void reduce() {
        for (uint32_t u = 0; u < SETS; ++u) {
            for (uint32_t l = 0; l < WIDTH; ++l) {
                const uint32_t at = static_cast<uint32_t>(bestIndex_[u][l]);
                unresolved_ = unresolved_ || nan_[l];
                if (best_[u][l] > value_ || (found_ && best_[u][l] == value_ && at < index_)) {
                    value_ = best_[u][l];
                    index_ = at;
                    found_ = true;
                }
            }
        }
    }

    __attribute__((always_inline)) void offer(uint32_t s, float key) {
        unresolved_ = unresolved_ || key != key;
        if (key > value_) {
            value_ = key;
            index_ = s;
            found_ = true;
        }
    }

    // False when the plain loop must decide.
    __attribute__((always_inline)) bool result(uint32_t& index) const {
        if (unresolved_ || !found_) return false;
        index = index_;
        return true;
    }

private:
    F best_[SETS];
    I bestIndex_[SETS] = {};
    I sample_[SETS];
    I nan_ = {};
    float value_ = -INFINITY;
    uint32_t index_ = 0;
    bool found_ = false;
    bool unresolved_ = false;
};

template <typename V>
__attribute__((always_inline)) inline void load(V& to, const void* from) {
    std::memcpy(&to, from, sizeof to);
}

bool firstLargestInOrder(const float* keys, const int32_t* mask, uint32_t count, uint32_t& index) {
    bool found = false;
    for (uint32_t s = 0; s < count; ++s) {
        if (mask[s] && (!found || keys[s] > keys[index])) {
            index = s;
            found = true;
        }
    }
    return found;
}

template <typename F, typename I>
__attribute__((always_inline)) inline bool firstLargestIn(const float* keys, const int32_t* mask, uint32_t count,
                                                          uint32_t& index) {
    using Lanes = FirstLargestLanes<F, I>;
    Lanes lanes;
    uint32_t s = 0;
    for (; s + Lanes::STRIDE <= count; s += Lanes::STRIDE) {
        for (uint32_t u = 0; u < Lanes::SETS; ++u) {
            const uint32_t at = s + u * Lanes::WIDTH;
            F key;
            I candidate;
            load(key, keys + at);
            load(candidate, mask + at);
            lanes.add(u, key, candidate);
        }
    }
    lanes.reduce();
    for (; s < count; ++s) {
        if (mask[s]) lanes.offer(s, keys[s]);
    }
    return lanes.result(index);
}

// The gain of sample s, and whether it is a candidate at all.
__attribute__((always_inline)) inline bool lowGain(const LowCandidates& in, uint32_t s, float& gain) {
    const float b = in.yg[s] - in.mUp;
    const float a = 2.0f * in.diagonal[s] - 4.0f * in.rowI[s] + in.twiceKii;
    gain = (b * b) / a;
    return in.low[s] && b < 0.0f && !(a <= in.tolerance);
}

bool largestLowGainInOrder(const LowCandidates& in, uint32_t& index) {
    bool found = false;
    float best = 0.0f;
    for (uint32_t s = 0; s < in.count; ++s) {
        float gain;
        if (lowGain(in, s, gain) && (!found || gain > best)) {
            best = gain;
            index = s;
            found = true;
        }
    }
    return found;
}

template <typename F, typename I>
__attribute__((always_inline)) inline bool largestLowGainIn(const LowCandidates& in, uint32_t& index) {
    using Lanes = FirstLargestLanes<F, I>;
    Lanes lanes;
    uint32_t s = 0;
    for (; s + Lanes::STRIDE <= in.count; s += Lanes::STRIDE) {
        for (uint32_t u = 0; u < Lanes::SETS; ++u) {
            const uint32_t at = s + u * Lanes::WIDTH;
            F yg, diagonal, rowI;
            I low;
            load(yg, in.yg + at);
            load(diagonal, in.diagonal + at);
            load(rowI, in.rowI + at);
            load(low, in.low + at);
            const F b = yg - in.mUp;
            const F a = 2.0f * diagonal - 4.0f * rowI + in.twiceKii;
            const F gain = (b * b) / a;
            const I candidate = low & (b < 0.0f) & ~(a <= in.tolerance);
            lanes.add(u, gain, candidate);
        }
    }
    lanes.reduce();
    for (; s < in.count; ++s) {
        float gain;
        if (lowGain(in, s, gain)) lanes.offer(s, gain);
    }
    return lanes.result(index);
}

#if defined(__GNUC__) && !defined(__clang__)

// The AVX2 and the baseline versions; the calls below go through GCC's
// dispatcher, which picks one at run time. (Clang 14, used for the sanitizer
// and fuzzing builds, does not link such versions of template code; it gets
// the baseline only.)
__attribute__((target("default"))) bool firstLargestBy(const float* keys, const int32_t* mask, uint32_t count,
                                                       uint32_t& index) {
    return firstLargestIn<Floats4, Ints4>(keys, mask, count, index);
}

__attribute__((target("avx2"))) bool firstLargestBy(const float* keys, const int32_t* mask, uint32_t count,
                                                    uint32_t& index) {
    return firstLargestIn<Floats8, Ints8>(keys, mask, count, index);
}

__attribute__((target("default"))) bool largestLowGainBy(const LowCandidates& in, uint32_t& index) {
    return largestLowGainIn<Floats4, Ints4>(in, index);
}

__attribute__((target("avx2"))) bool largestLowGainBy(const LowCandidates& in, uint32_t& index) {
    return largestLowGainIn<Floats8, Ints8>(in, index);
}

#define SOLVER_CLONES __attribute__((target_clones("avx2", "default")))

#else

bool firstLargestBy(const float* keys, const int32_t* mask, uint32_t count, uint32_t& index) {
    return firstLargestIn<Floats4, Ints4>(keys, mask, count, index);
}

bool largestLowGainBy(const LowCandidates& in, uint32_t& index) {
    return largestLowGainIn<Floats4, Ints4>(in, index);
}

#define SOLVER_CLONES

#endif

}  // namespace

// The plain loops run here, after the vector version has returned, and not as
// its tail call: that would enter baseline code with the upper halves of the
// AVX registers still in use, which slows every later SSE instruction of the
// thread (feature extraction ran at less than half speed after training).
bool firstLargest(const float* keys, const int32_t* mask, uint32_t count, uint32_t& index) {
    return firstLargestBy(keys, mask, count, index) || firstLargestInOrder(keys, mask, count, index);
}

bool largestLowGain(const LowCandidates& in, uint32_t& index) {
    return largestLowGainBy(in, index) || largestLowGainInOrder(in, index);
}

SOLVER_CLONES void updateGradient(const float* __restrict rowI, const float* __restrict rowJ, const float* __restrict y,
                                  float deltaI, float yi, float deltaJ, float yj, uint32_t count, float* __restrict g,
                                  float* __restrict yg) {
    for (uint32_t t = 0; t < count; ++t) {
        const float updated = g[t] - (rowI[t] * y[t] * deltaI * yi + rowJ[t] * y[t] * deltaJ * yj);
        g[t] = updated;
        yg[t] = y[t] * updated;
    }
}
