// The pair solver's loops over all samples, run in every iteration. They are
// vectorised across samples only: every element is computed with the same
// float operations in the same order as the plain loop would, and every choice
// follows the plain loop's tie rules, so the results are identical bit for bit.
// Built for AVX2 and for the baseline, the faster chosen once at start-up by
// the processor's abilities.
#pragma once

#include <cstdint>

enum class SolverLoops { BASELINE, AVX2 };

// The loops chosen at start-up.
SolverLoops solverLoopsInUse();
// Runs the given loops from now on (tests compare the two; call while no
// solver runs). False, and nothing changes, when this processor cannot run them.
bool useSolverLoops(SolverLoops which);

// The index of the first largest key among the samples whose mask is set (-1),
// as a loop that keeps the first candidate and replaces it only by a strictly
// larger key picks it: a NaN key wins only as the first candidate, -0 equals 0.
// False when no mask is set.
bool firstLargest(const float* keys, const int32_t* mask, uint32_t count, uint32_t& index);

// The samples that may move down, as the second-order choice sees them.
struct LowCandidates {
    const float* yg;        // y_s * g_s
    const float* diagonal;  // K(s, s)
    const float* rowI;      // K(s, i)
    const int32_t* low;     // -1 when the sample may move down
    float mUp;
    float twiceKii;  // 2 K(i, i)
    float tolerance;
    uint32_t count;
};

// Among the samples with low set, b = y*g - mUp < 0 and not a <= tolerance,
// where a = 2 K(s,s) - 4 K(s,i) + 2 K(i,i): the first with the largest b^2 / a.
// False when there is none.
bool largestLowGain(const LowCandidates& in, uint32_t& index);

// g_t = g_t - (K(i,t) y_t dI y_i + K(j,t) y_t dJ y_j) and yg_t = y_t g_t for every t.
void updateGradient(const float* rowI, const float* rowJ, const float* y, float deltaI, float yi, float deltaJ,
                    float yj, uint32_t count, float* g, float* yg);
