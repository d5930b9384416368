// The SMO solver and the pair trainer: pure numerics, no I/O.
#include "model/training.h"

#include <algorithm>
#include <cstddef>

#include "model/kernel_rows.h"

namespace {

constexpr float TOLERANCE = 0.001f;  // flag margin, snapping margin, curvature and objective tolerance

class SmoSolver {
public:
    SmoSolver(const float* data, uint32_t dim, uint32_t count, const int32_t* labels, const SolverParams& params,
              float* alpha)
        : count_(count), labels_(labels), params_(params), alpha_(alpha), kernel_(data, dim, count),
          gradient_(count, 1.0f), up_(count), low_(count)
    {
        for (uint32_t s = 0; s < count_; ++s) {
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
            step(i, j);
        }
        // At the iteration limit the bias still comes from the last selection.
        return (mUp + mLow) * 0.5f;
    }

private:
    float label(uint32_t s) const { return static_cast<float>(labels_[s]); }
    float upper(uint32_t s) const { return labels_[s] == 1 ? params_.upperPositive : params_.upperNegative; }
    float yg(uint32_t s) const { return label(s) * gradient_[s]; }

    void updateFlags(uint32_t s, float a)
    {
        if (labels_[s] == 1) {
            up_[s] = a < params_.upperPositive - TOLERANCE;
            low_[s] = a > TOLERANCE;
        } else {
            up_[s] = a > TOLERANCE;
            low_[s] = a < params_.upperNegative - TOLERANCE;
        }
    }

    // Largest y*g among the samples that may move up; the lowest index wins ties.
    uint32_t selectUp(float& mUp) const
    {
        bool found = false;
        uint32_t best = 0;
        for (uint32_t s = 0; s < count_; ++s) {
            if (up_[s] && (!found || yg(s) > yg(best))) {
                best = s;
                found = true;
            }
        }
        mUp = found ? yg(best) : 0.0f;
        return best;
    }

    // Second-order choice (largest b^2/a), falling back to the smallest y*g.
    uint32_t selectLow(uint32_t i, float mUp, float& mLow)
    {
        const float* diagonal = kernel_.diagonal();
        const float* rowI = kernel_.row(i);
        bool found = false;
        uint32_t best = 0;
        float bestGain = 0.0f;
        for (uint32_t s = 0; s < count_; ++s) {
            if (!low_[s])
                continue;
            const float b = yg(s) - mUp;
            if (!(b < 0.0f))
                continue;
            const float a = 2.0f * diagonal[s] - 4.0f * rowI[s] + 2.0f * diagonal[i];
            if (a <= TOLERANCE)
                continue;
            const float gain = (b * b) / a;
            if (!found || gain > bestGain) {
                best = s;
                bestGain = gain;
                found = true;
            }
        }
        if (!found) {
            for (uint32_t s = 0; s < count_; ++s) {
                if (low_[s] && (!found || yg(s) < yg(best))) {
                    best = s;
                    found = true;
                }
            }
        }
        mLow = found ? yg(best) : 0.0f;
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

    void step(uint32_t i, uint32_t j)
    {
        const float yi = label(i);
        const float yj = label(j);
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

        const float deltaI = a1 - ai;
        const float deltaJ = a2 - aj;
        for (uint32_t t = 0; t < count_; ++t) {
            const float yt = label(t);
            gradient_[t] = gradient_[t] - (rowI[t] * yt * deltaI * yi + rowJ[t] * yt * deltaJ * yj);
        }

        updateFlags(i, a1);
        updateFlags(j, a2);
        alpha_[i] = a1;
        alpha_[j] = a2;
    }

    uint32_t count_;
    const int32_t* labels_;
    const SolverParams& params_;
    float* alpha_;
    KernelRows kernel_;
    std::vector<float> gradient_;
    std::vector<uint8_t> up_;
    std::vector<uint8_t> low_;
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
