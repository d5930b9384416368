#include "model/solver_loops.h"

#include <cmath>
#include <cstring>

#include "platform/cpu_features.h"
#include "platform/portable.h"

namespace {

#if EMG_HAVE_VECTOR_EXTENSION

using Floats4 = float EMG_VECTOR_SIZE(16);
using Ints4 = int32_t EMG_VECTOR_SIZE(16);
using Floats8 = float EMG_VECTOR_SIZE(32);
using Ints8 = int32_t EMG_VECTOR_SIZE(32);

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

    EMG_ALWAYS_INLINE void add(uint32_t u, const F& key, const I& candidate) {
        nan_ |= candidate & (key != key);
        const I take = candidate & (key > best_[u]);
        best_[u] = take ? key : best_[u];
        bestIndex_[u] = take ? sample_[u] : bestIndex_[u];
        sample_[u] += static_cast<int32_t>(STRIDE);
    }

    EMG_ALWAYS_INLINE void reduce() {
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

    EMG_ALWAYS_INLINE void offer(uint32_t s, float key) {
        unresolved_ = unresolved_ || key != key;
        if (key > value_) {
            value_ = key;
            index_ = s;
            found_ = true;
        }
    }

    // False when the plain loop must decide.
    EMG_ALWAYS_INLINE bool result(uint32_t& index) const {
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
EMG_ALWAYS_INLINE inline void load(V& to, const void* from) {
    std::memcpy(&to, from, sizeof to);
}

#endif  // EMG_HAVE_VECTOR_EXTENSION

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

#if EMG_HAVE_VECTOR_EXTENSION

template <typename F, typename I>
EMG_ALWAYS_INLINE inline bool firstLargestIn(const float* keys, const int32_t* mask, uint32_t count,
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

#endif  // EMG_HAVE_VECTOR_EXTENSION

// The gain of sample s, and whether it is a candidate at all.
EMG_ALWAYS_INLINE inline bool lowGain(const LowCandidates& in, uint32_t s, float& gain) {
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

#if EMG_HAVE_VECTOR_EXTENSION

template <typename F, typename I>
EMG_ALWAYS_INLINE inline bool largestLowGainIn(const LowCandidates& in, uint32_t& index) {
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

#endif  // EMG_HAVE_VECTOR_EXTENSION

EMG_ALWAYS_INLINE inline void updateGradientIn(const float* __restrict rowI, const float* __restrict rowJ,
                                               const float* __restrict y, float deltaI, float yi, float deltaJ,
                                               float yj, uint32_t count, float* __restrict g, float* __restrict yg) {
    for (uint32_t t = 0; t < count; ++t) {
        const float updated = g[t] - (rowI[t] * y[t] * deltaI * yi + rowJ[t] * y[t] * deltaJ * yj);
        g[t] = updated;
        yg[t] = y[t] * updated;
    }
}

// One set of the loops. The vector ones return false when the plain loop must decide.
struct Loops {
    bool (*firstLargest)(const float* keys, const int32_t* mask, uint32_t count, uint32_t& index);
    bool (*largestLowGain)(const LowCandidates& in, uint32_t& index);
    void (*updateGradient)(const float* rowI, const float* rowJ, const float* y, float deltaI, float yi, float deltaJ,
                           float yj, uint32_t count, float* g, float* yg);
};

// The baseline: 4-wide vectors where the compiler has them, the plain loops otherwise (MSVC).
const Loops BASELINE_LOOPS{
#if EMG_HAVE_VECTOR_EXTENSION
    [](const float* keys, const int32_t* mask, uint32_t count, uint32_t& index) {
        return firstLargestIn<Floats4, Ints4>(keys, mask, count, index);
    },
    [](const LowCandidates& in, uint32_t& index) { return largestLowGainIn<Floats4, Ints4>(in, index); },
#else
    [](const float*, const int32_t*, uint32_t, uint32_t&) { return false; },
    [](const LowCandidates&, uint32_t&) { return false; },
#endif
    [](const float* rowI, const float* rowJ, const float* y, float deltaI, float yi, float deltaJ, float yj,
       uint32_t count, float* g, float* yg) { updateGradientIn(rowI, rowJ, y, deltaI, yi, deltaJ, yj, count, g, yg); },
};

#if EMG_HAVE_VECTOR_EXTENSION && EMG_HAVE_AVX2_TARGET

// The AVX2 versions: the same templates, 8 wide, compiled for AVX2 alone.
EMG_TARGET_AVX2 bool firstLargestAvx2(const float* keys, const int32_t* mask, uint32_t count, uint32_t& index) {
    return firstLargestIn<Floats8, Ints8>(keys, mask, count, index);
}

EMG_TARGET_AVX2 bool largestLowGainAvx2(const LowCandidates& in, uint32_t& index) {
    return largestLowGainIn<Floats8, Ints8>(in, index);
}

EMG_TARGET_AVX2 void updateGradientAvx2(const float* rowI, const float* rowJ, const float* y, float deltaI, float yi,
                                        float deltaJ, float yj, uint32_t count, float* g, float* yg) {
    updateGradientIn(rowI, rowJ, y, deltaI, yi, deltaJ, yj, count, g, yg);
}

const Loops AVX2_LOOPS{firstLargestAvx2, largestLowGainAvx2, updateGradientAvx2};
constexpr bool AVX2_BUILT = true;

#else

const Loops AVX2_LOOPS = BASELINE_LOOPS;
constexpr bool AVX2_BUILT = false;

#endif

bool avx2Usable() {
    return AVX2_BUILT && platform::cpuHasAvx2();
}

// Chosen once during static initialisation, before main; changed only by
// useSolverLoops, which tests call while no solver runs.
SolverLoops loopsInUse = avx2Usable() ? SolverLoops::AVX2 : SolverLoops::BASELINE;
const Loops* loops = loopsInUse == SolverLoops::AVX2 ? &AVX2_LOOPS : &BASELINE_LOOPS;

}  // namespace

SolverLoops solverLoopsInUse() {
    return loopsInUse;
}

bool useSolverLoops(SolverLoops which) {
    if (which == SolverLoops::AVX2 && !avx2Usable()) return false;
    loopsInUse = which;
    loops = which == SolverLoops::AVX2 ? &AVX2_LOOPS : &BASELINE_LOOPS;
    return true;
}

// The plain loops run here, after the vector version has returned, and not as
// its tail call: that would enter baseline code with the upper halves of the
// AVX registers still in use, which slows every later SSE instruction of the
// thread (feature extraction ran at less than half speed after training).
bool firstLargest(const float* keys, const int32_t* mask, uint32_t count, uint32_t& index) {
    return loops->firstLargest(keys, mask, count, index) || firstLargestInOrder(keys, mask, count, index);
}

bool largestLowGain(const LowCandidates& in, uint32_t& index) {
    return loops->largestLowGain(in, index) || largestLowGainInOrder(in, index);
}

void updateGradient(const float* rowI, const float* rowJ, const float* y, float deltaI, float yi, float deltaJ, float yj,
                    uint32_t count, float* g, float* yg) {
    loops->updateGradient(rowI, rowJ, y, deltaI, yi, deltaJ, yj, count, g, yg);
}
