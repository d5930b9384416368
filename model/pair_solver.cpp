// The SMO solver and the pair trainer: pure numerics, no I/O.
#include "model/training.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "model/kernel_rows.h"

namespace {

constexpr float TOLERANCE = 0.001f;  // flag margin, snapping margin, curvature and objective tolerance

// The loops below run on every sample in every iteration: they are vectorised
// across samples only, each element computed exactly as the scalar code would,
// and built for AVX2 as well as for the baseline, the faster chosen at run time.
#define SOLVER_LOOP __attribute__((target_clones("avx2", "default")))

using Floats4 = float __attribute__((vector_size(16)));
using Ints4 = int32_t __attribute__((vector_size(16)));
using Floats8 = float __attribute__((vector_size(32)));
using Ints8 = int32_t __attribute__((vector_size(32)));

template <typename F, typename I>
struct Lanes {
    using Floats = F;
    using Ints = I;
    static constexpr uint32_t COUNT = sizeof(F) / sizeof(float);
};

// Index of the first largest key among those whose mask is set, exactly as
// this loop picks it (a NaN key wins only as the first candidate, -0 equals 0).
// False when no mask is set.
bool firstLargestInOrder(const float* keys, const int32_t* mask, uint32_t count, uint32_t& index)
{
    bool found = false;
    for (uint32_t s = 0; s < count; ++s) {
        if (mask[s] && (!found || keys[s] > keys[index])) {
            index = s;
            found = true;
        }
    }
    return found;
}

// The same by lanes: each lane keeps the first largest key of its own samples
// (four independent sets of lanes, so that no lane waits for the last compare),
// and the lanes' results go to the largest key with the lowest index. Candidates
// with NaN or only -infinity keys are left to the loop above.
template <typename L>
__attribute__((always_inline)) inline bool firstLargestIn(const float* keys, const int32_t* mask, uint32_t count,
                                                          uint32_t& index)
{
    using Floats = typename L::Floats;
    using Ints = typename L::Ints;
    constexpr uint32_t SETS = 4;
    constexpr uint32_t STRIDE = SETS * L::COUNT;
    Floats best[SETS];
    Ints bestIndex[SETS] = {};
    Ints sample[SETS];
    Ints nan = {};
    for (uint32_t u = 0; u < SETS; ++u) {
        for (uint32_t l = 0; l < L::COUNT; ++l) {
            best[u][l] = -INFINITY;
            sample[u][l] = static_cast<int32_t>(u * L::COUNT + l);
        }
    }
    uint32_t s = 0;
    for (; s + STRIDE <= count; s += STRIDE) {
        for (uint32_t u = 0; u < SETS; ++u) {
            Floats key;
            Ints candidate;
            std::memcpy(&key, keys + s + u * L::COUNT, sizeof key);
            std::memcpy(&candidate, mask + s + u * L::COUNT, sizeof candidate);
            nan |= candidate & (key != key);
            const Ints take = candidate & (key > best[u]);
            best[u] = take ? key : best[u];
            bestIndex[u] = take ? sample[u] : bestIndex[u];
            sample[u] += static_cast<int32_t>(STRIDE);
        }
    }
    bool found = false;
    bool anyNan = false;
    float value = -INFINITY;
    for (uint32_t u = 0; u < SETS; ++u) {
        for (uint32_t l = 0; l < L::COUNT; ++l) {
            const uint32_t at = static_cast<uint32_t>(bestIndex[u][l]);
            anyNan = anyNan || nan[l];
            if (best[u][l] > value || (found && best[u][l] == value && at < index)) {
                value = best[u][l];
                index = at;
                found = true;
            }
        }
    }
    for (; s < count; ++s) {
        if (!mask[s])
            continue;
        anyNan = anyNan || keys[s] != keys[s];
        if (keys[s] > value) {
            value = keys[s];
            index = s;
            found = true;
        }
    }
    if (anyNan || !found)
        return firstLargestInOrder(keys, mask, count, index);
    return true;
}

__attribute__((target("default"))) bool firstLargest(const float* keys, const int32_t* mask, uint32_t count,
                                                     uint32_t& index)
{
    return firstLargestIn<Lanes<Floats4, Ints4>>(keys, mask, count, index);
}

#ifdef __clang__
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wunused-function"  // reached through the run-time dispatch
#endif
__attribute__((target("avx2"))) bool firstLargest(const float* keys, const int32_t* mask, uint32_t count,
                                                  uint32_t& index)
{
    return firstLargestIn<Lanes<Floats8, Ints8>>(keys, mask, count, index);
}
#ifdef __clang__
#pragma clang diagnostic pop
#endif

// gain = b^2 / a with b = y*g - mUp and a = 2 K(s,s) - 4 K(s,i) + 2 K(i,i); candidate
// when the sample may move down, b < 0 and not a <= tolerance.
SOLVER_LOOP void lowGains(const float* __restrict yg, const float* __restrict diagonal, const float* __restrict rowI,
                          const int32_t* __restrict low, float mUp, float twiceKii, float tolerance, uint32_t count,
                          float* __restrict gain, int32_t* __restrict candidate)
{
    for (uint32_t s = 0; s < count; ++s) {
        const float b = yg[s] - mUp;
        const float a = 2.0f * diagonal[s] - 4.0f * rowI[s] + twiceKii;
        gain[s] = (b * b) / a;
        candidate[s] = low[s] & -(b < 0.0f) & -!(a <= tolerance);
    }
}

// g_t -= K(i,t) y_t dI y_i + K(j,t) y_t dJ y_j in exactly this order, and y_t g_t.
SOLVER_LOOP void updateGradient(const float* __restrict rowI, const float* __restrict rowJ,
                                const float* __restrict y, float deltaI, float yi, float deltaJ, float yj,
                                uint32_t count, float* __restrict g, float* __restrict yg)
{
    for (uint32_t t = 0; t < count; ++t) {
        const float updated = g[t] - (rowI[t] * y[t] * deltaI * yi + rowJ[t] * y[t] * deltaJ * yj);
        g[t] = updated;
        yg[t] = y[t] * updated;
    }
}

class SmoSolver {
public:
    SmoSolver(const float* data, uint32_t dim, uint32_t count, const int32_t* labels, const SolverParams& params,
              float* alpha)
        : count_(count), labels_(labels), params_(params), alpha_(alpha), kernel_(data, dim, count), y_(count),
          gradient_(count, 1.0f), yg_(count), up_(count), low_(count), gain_(count), candidate_(count)
    {
        for (uint32_t s = 0; s < count_; ++s) {
            y_[s] = static_cast<float>(labels_[s]);
            yg_[s] = y_[s] * gradient_[s];
            alpha_[s] = 0.0f;
            updateFlags(s, 0.0f);
        }
    }

    float solve()
    {
        float mUp = 0.0f;
        float mLow = 0.0f;
        for (uint32_t iteration = 0; iteration < params_.iterationLimit; ++iteration) {
            const uint32_t i = selectUp(mUp);
            const uint32_t j = selectLow(i, mUp, mLow);
            if (params_.epsilon >= mUp - mLow)
                break;
            // A step that changes nothing leaves the next iteration where this one
            // started, and so every later one: the limit's result is this one's.
            if (!step(i, j))
                break;
        }
        // At the iteration limit the bias still comes from the last selection.
        return (mUp + mLow) * 0.5f;
    }

private:
    float upper(uint32_t s) const { return labels_[s] == 1 ? params_.upperPositive : params_.upperNegative; }

    void updateFlags(uint32_t s, float a)
    {
        if (labels_[s] == 1) {
            up_[s] = -(a < params_.upperPositive - TOLERANCE);
            low_[s] = -(a > TOLERANCE);
        } else {
            up_[s] = -(a > TOLERANCE);
            low_[s] = -(a < params_.upperNegative - TOLERANCE);
        }
    }

    // Largest y*g among the samples that may move up; the lowest index wins ties.
    uint32_t selectUp(float& mUp) const
    {
        uint32_t best = 0;
        mUp = firstLargest(yg_.data(), up_.data(), count_, best) ? yg_[best] : 0.0f;
        return best;
    }

    // Second-order choice (largest b^2/a), falling back to the smallest y*g.
    uint32_t selectLow(uint32_t i, float mUp, float& mLow)
    {
        const float* diagonal = kernel_.diagonal();
        const float* rowI = kernel_.row(i);
        lowGains(yg_.data(), diagonal, rowI, low_.data(), mUp, 2.0f * diagonal[i], TOLERANCE, count_, gain_.data(),
                 candidate_.data());
        uint32_t best = 0;
        bool found = firstLargest(gain_.data(), candidate_.data(), count_, best);
        if (!found) {
            for (uint32_t s = 0; s < count_; ++s) {
                if (low_[s] && (!found || yg_[s] < yg_[best])) {
                    best = s;
                    found = true;
                }
            }
        }
        mLow = found ? yg_[best] : 0.0f;
        return best;
    }

    // New multiplier of j when the objective is flat along the pair's line.
    float endPointAlpha(uint32_t i, uint32_t j, float s, float kii, float kjj, float kij, float lo, float hi) const
    {
        const float ai = alpha_[i];
        const float aj = alpha_[j];
        const float f1 = -gradient_[i] - ai * kii - s * aj * kij;
        const float f2 = -gradient_[j] - aj * kjj - s * ai * kij;
        const float l1 = ai + s * (aj - lo);
        const float h1 = ai + s * (aj - hi);
        const float objL =
            l1 * f1 + lo * f2 + 0.5f * (l1 * l1) * kii + 0.5f * (lo * lo) * kjj + s * lo * l1 * kij;
        const float objH =
            h1 * f1 + hi * f2 + 0.5f * (h1 * h1) * kii + 0.5f * (hi * hi) * kjj + s * hi * h1 * kij;
        if (objH - TOLERANCE > objL)
            return lo;
        if (objL > objH + TOLERANCE)
            return hi;
        return aj;
    }

    // False when the step changed no multiplier and no gradient bit.
    bool step(uint32_t i, uint32_t j)
    {
        const float yi = y_[i];
        const float yj = y_[j];
        const float s = yi * yj;
        const float ui = upper(i);
        const float uj = upper(j);
        const float* rowI = kernel_.row(i);
        const float* rowJ = kernel_.row(j);
        const float kii = kernel_.diagonal()[i];
        const float kjj = kernel_.diagonal()[j];
        const float kij = rowI[j];
        const float eta = (kjj + kii) - (kij + kij);
        const float ai = alpha_[i];
        const float aj = alpha_[j];

        float lo;
        float hi;
        if (labels_[i] == labels_[j]) {
            lo = std::max(0.0f, (aj + ai) - ui);
            hi = std::min(aj + ai, uj);
        } else {
            lo = std::max(aj - ai, 0.0f);
            hi = std::min(uj, (aj - ai) + ui);
        }

        float a2;
        if (eta > TOLERANCE) {
            a2 = ((yj * gradient_[j] - yi * gradient_[i]) * yj) / eta + aj;
            a2 = std::min(hi, std::max(lo, a2));
        } else {
            a2 = endPointAlpha(i, j, s, kii, kjj, kij, lo, hi);
        }

        float a1 = ai + s * (aj - a2);
        if (a1 < TOLERANCE)
            a1 = 0.0f;
        if (a1 > ui - TOLERANCE)
            a1 = ui;

        const bool moved = !sameBits(a1, ai) || !sameBits(a2, aj);
        const bool gradientChanged = applyStep(rowI, rowJ, a1 - ai, yi, a2 - aj, yj);
        updateFlags(i, a1);
        updateFlags(j, a2);
        alpha_[i] = a1;
        alpha_[j] = a2;
        return moved || gradientChanged;
    }

    // The gradient after a step; true when any bit of it changed.
    bool applyStep(const float* rowI, const float* rowJ, float deltaI, float yi, float deltaJ, float yj)
    {
        if (deltaI != 0.0f || deltaJ != 0.0f) {
            updateGradient(rowI, rowJ, y_.data(), deltaI, yi, deltaJ, yj, count_, gradient_.data(), yg_.data());
            return true;  // the multipliers moved anyway
        }
        // Zero deltas change at most the sign of a zero gradient, or make NaNs of infinite kernels.
        const std::vector<float> before = gradient_;
        updateGradient(rowI, rowJ, y_.data(), deltaI, yi, deltaJ, yj, count_, gradient_.data(), yg_.data());
        return std::memcmp(before.data(), gradient_.data(), before.size() * sizeof(float)) != 0;
    }

    static bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

    uint32_t count_;
    const int32_t* labels_;
    const SolverParams& params_;
    float* alpha_;
    KernelRows kernel_;
    std::vector<float> y_;
    std::vector<float> gradient_;
    std::vector<float> yg_;        // y_s * g_s, kept with the gradient
    std::vector<int32_t> up_;      // -1 may move up, else 0
    std::vector<int32_t> low_;     // -1 may move down, else 0
    std::vector<float> gain_;      // scratch of selectLow
    std::vector<int32_t> candidate_;
};

}  // namespace

float smoSolve(const float* data, uint32_t dim, uint32_t count, const int32_t* labels, const SolverParams& params,
               float* alpha)
{
    return SmoSolver(data, dim, count, labels, params, alpha).solve();
}

void trainPair(const PairProblem& problem, SolverParams& params, PairModel& model)
{
    model = PairModel{};
    if (problem.dim == 0 || problem.dim > 8)
        return;

    uint32_t positives = 0;
    uint32_t negatives = 0;
    for (uint32_t s = 0; s < problem.count; ++s) {
        if (problem.labels[s] == 1)
            ++positives;
        else
            ++negatives;
    }
    // Class-weighted bounds, computed in double and then narrowed (this fixes their
    // exact float values); an empty side gets an infinite or NaN bound that no
    // sample uses.
    const double n = problem.count;
    params.upperPositive = static_cast<float>(n * 0.5 / positives);
    params.upperNegative = static_cast<float>(n * 0.5 / negatives);

    std::vector<float> alpha(problem.count);
    model.b = smoSolve(problem.data.data(), problem.dim, problem.count, problem.labels.data(), params, alpha.data());

    // Every sample with a positive multiplier counts: with features of 5 to 30 the
    // real support vectors have multipliers of the order of 0.001.
    for (uint32_t s = 0; s < problem.count; ++s) {
        if (!(alpha[s] > 0.0f))
            continue;
        const float weight = static_cast<float>(problem.labels[s]) * alpha[s];
        const float* x = &problem.data[static_cast<size_t>(s) * problem.dim];
        for (uint32_t d = 0; d < problem.dim; ++d)
            model.w[d] = weight * x[d] + model.w[d];
    }
}
