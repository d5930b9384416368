// The SMO solver and the pair trainer: pure numerics, no I/O.
#include "model/training.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "model/kernel_rows.h"
#include "model/solver_loops.h"

namespace {

constexpr float TOLERANCE = 0.001f;  // flag margin, snapping margin, curvature and objective tolerance

class SmoSolver {
public:
    SmoSolver(const float* data, uint32_t dim, uint32_t count, const int32_t* labels, const SolverParams& params,
              float* alpha)
        : count_(count),
          labels_(labels),
          params_(params),
          alpha_(alpha),
          kernel_(data, dim, count),
          y_(count),
          gradient_(count, 1.0f),
          yg_(count),
          up_(count),
          low_(count) {
        for (uint32_t s = 0; s < count_; ++s) {
            y_[s] = static_cast<float>(labels_[s]);
            yg_[s] = y_[s] * gradient_[s];
            alpha_[s] = 0.0f;
            updateFlags(s, 0.0f);
        }
    }

    float solve() {
        if (count_ == 0) return 0.0f;  // every selection finds nothing and stops
        float mUp = 0.0f;
        float mLow = 0.0f;
        for (uint32_t iteration = 0; iteration < params_.iterationLimit; ++iteration) {
            const uint32_t i = selectUp(mUp);
            const uint32_t j = selectLow(i, mUp, mLow);
            if (params_.epsilon >= mUp - mLow) break;
            // A step that changes nothing leaves the next iteration where this one
            // started, and so every later one: the limit's result is this one's.
            if (!step(i, j)) break;
        }
        // At the iteration limit the bias still comes from the last selection.
        return (mUp + mLow) * 0.5f;
    }

private:
    float upper(uint32_t s) const { return labels_[s] == 1 ? params_.upperPositive : params_.upperNegative; }

    void updateFlags(uint32_t s, float a) {
        if (labels_[s] == 1) {
            up_[s] = -(a < params_.upperPositive - TOLERANCE);
            low_[s] = -(a > TOLERANCE);
        } else {
            up_[s] = -(a > TOLERANCE);
            low_[s] = -(a < params_.upperNegative - TOLERANCE);
        }
    }

    // Largest y*g among the samples that may move up; the lowest index wins ties.
    uint32_t selectUp(float& mUp) const {
        uint32_t best = 0;
        mUp = firstLargest(yg_.data(), up_.data(), count_, best) ? yg_[best] : 0.0f;
        return best;
    }

    // Second-order choice (largest b^2/a), falling back to the smallest y*g.
    uint32_t selectLow(uint32_t i, float mUp, float& mLow) {
        const float* diagonal = kernel_.diagonal();
        const float* rowI = kernel_.row(i);
        const LowCandidates candidates{yg_.data(), diagonal,           rowI,      low_.data(),
                                       mUp,        2.0f * diagonal[i], TOLERANCE, count_};
        uint32_t best = 0;
        bool found = largestLowGain(candidates, best);
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
    float endPointAlpha(uint32_t i, uint32_t j, float s, float kii, float kjj, float kij, float lo, float hi) const {
        const float ai = alpha_[i];
        const float aj = alpha_[j];
        const float f1 = -gradient_[i] - ai * kii - s * aj * kij;
        const float f2 = -gradient_[j] - aj * kjj - s * ai * kij;
        const float l1 = ai + s * (aj - lo);
        const float h1 = ai + s * (aj - hi);
        const float objL = l1 * f1 + lo * f2 + 0.5f * (l1 * l1) * kii + 0.5f * (lo * lo) * kjj + s * lo * l1 * kij;
        const float objH = h1 * f1 + hi * f2 + 0.5f * (h1 * h1) * kii + 0.5f * (hi * hi) * kjj + s * hi * h1 * kij;
        if (objH - TOLERANCE > objL) return lo;
        if (objL > objH + TOLERANCE) return hi;
        return aj;
    }

    // False when the step changed no multiplier and no gradient bit.
    bool step(uint32_t i, uint32_t j) {
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
        if (a1 < TOLERANCE) a1 = 0.0f;
        if (a1 > ui - TOLERANCE) a1 = ui;

        const bool moved = !sameBits(a1, ai) || !sameBits(a2, aj);
        const bool gradientChanged = applyStep(rowI, rowJ, a1 - ai, yi, a2 - aj, yj);
        updateFlags(i, a1);
        updateFlags(j, a2);
        alpha_[i] = a1;
        alpha_[j] = a2;
        return moved || gradientChanged;
    }

    // The gradient after a step; true when any bit of it changed.
    bool applyStep(const float* rowI, const float* rowJ, float deltaI, float yi, float deltaJ, float yj) {
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
    std::vector<float> yg_;     // y_s * g_s, kept with the gradient
    std::vector<int32_t> up_;   // -1 may move up, else 0
    std::vector<int32_t> low_;  // -1 may move down, else 0
};

}  // namespace

float smoSolve(const float* data, uint32_t dim, uint32_t count, const int32_t* labels, const SolverParams& params,
               float* alpha) {
    return SmoSolver(data, dim, count, labels, params, alpha).solve();
}

void trainPair(const PairProblem& problem, SolverParams& params, PairModel& model) {
    model = PairModel{};
    if (problem.dim == 0 || problem.dim > 8) return;

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
        if (!(alpha[s] > 0.0f)) continue;
        const float weight = static_cast<float>(problem.labels[s]) * alpha[s];
        const float* x = &problem.data[static_cast<size_t>(s) * problem.dim];
        for (uint32_t d = 0; d < problem.dim; ++d) model.w[d] = weight * x[d] + model.w[d];
    }
}
