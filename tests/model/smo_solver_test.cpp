#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "model/training.h"

namespace {

SolverParams boundsFor(const PairProblem& problem)
{
    SolverParams params;
    PairModel unused;
    trainPair(problem, params, unused);  // only for the bounds it sets
    return params;
}

struct Solution {
    std::vector<float> alpha;
    float bias = 0;
    bool operator==(const Solution& other) const { return alpha == other.alpha && bias == other.bias; }
};

Solution solve(const PairProblem& problem, const SolverParams& params)
{
    Solution solution;
    solution.alpha.resize(problem.count);
    solution.bias = smoSolve(problem.data.data(), problem.dim, problem.count, problem.labels.data(), params,
                             solution.alpha.data());
    return solution;
}

// Optimality of the dual problem, recomputed in double from the multipliers alone.
struct Optimality {
    bool inBox = true;
    double equality = 0;       // sum of y*alpha
    double maxUp = -INFINITY;  // largest y*g of the multipliers that may go up
    double minLow = INFINITY;  // smallest y*g of those that may go down
    double gap() const { return maxUp - minLow; }
};

Optimality optimality(const PairProblem& problem, const SolverParams& params, const std::vector<float>& alpha)
{
    Optimality result;
    for (uint32_t s = 0; s < problem.count; ++s) {
        const int y = problem.labels[s];
        const float upper = y == 1 ? params.upperPositive : params.upperNegative;
        double gradient = 1;
        for (uint32_t t = 0; t < problem.count; ++t) {
            double kernel = 0;
            for (uint32_t d = 0; d < problem.dim; ++d)
                kernel += double(problem.data[s * problem.dim + d]) * problem.data[t * problem.dim + d];
            gradient -= y * problem.labels[t] * double(alpha[t]) * kernel;
        }
        const bool atLower = alpha[s] <= 0.001f;
        const bool atUpper = alpha[s] >= upper - 0.001f;
        if ((y == 1 && !atUpper) || (y == -1 && !atLower))
            result.maxUp = std::max(result.maxUp, y * gradient);
        if ((y == 1 && !atLower) || (y == -1 && !atUpper))
            result.minLow = std::min(result.minLow, y * gradient);
        result.inBox = result.inBox && alpha[s] >= 0 && alpha[s] <= upper;
        result.equality += y * double(alpha[s]);
    }
    return result;
}

// Mean-absolute-value-like features (5..30) of two classes whose centres lie
// `separation` apart on every channel.
PairProblem randomProblem(uint32_t seed, float separation)
{
    std::mt19937 random(seed);
    PairProblem problem;
    problem.dim = 1 + seed % 8;
    const uint32_t positives = 20 + random() % 40;
    problem.count = positives + 20 + random() % 40;
    std::uniform_real_distribution<float> centre(8.0f, 27.0f - separation);
    std::normal_distribution<float> noise(0.0f, 2.0f);
    std::vector<float> base(problem.dim);
    for (float& value : base)
        value = centre(random);
    for (uint32_t s = 0; s < problem.count; ++s) {
        const bool positive = s < positives;
        problem.labels.push_back(positive ? 1 : -1);
        for (uint32_t d = 0; d < problem.dim; ++d)
            problem.data.push_back(base[d] + (positive ? separation : 0.0f) + noise(random));
    }
    return problem;
}

float decision(const PairModel& model, const PairProblem& problem, uint32_t s)
{
    float value = model.b;
    for (uint32_t d = 0; d < problem.dim; ++d)
        value = model.w[d] * problem.data[s * problem.dim + d] + value;
    return value;
}

// Float gradients drift by about 1e-3 over thousands of steps with kernels near
// 1000, and each clipped multiplier shifts the sum y*alpha by less than 0.001.
constexpr double GAP_SLACK = 0.005;

TEST(SmoSolver, TwoOppositeSamplesMeetHalfway)
{
    PairProblem problem{{1.0f, -1.0f}, {1, -1}, 1, 2};
    SolverParams params;
    PairModel model;
    trainPair(problem, params, model);
    EXPECT_EQ(params.upperPositive, 1.0f);
    EXPECT_EQ(params.upperNegative, 1.0f);
    EXPECT_EQ(model.w[0], 1.0f);
    EXPECT_EQ(model.b, 0.0f);
    EXPECT_EQ(solve(problem, params).alpha, (std::vector<float>{0.5f, 0.5f}));
}

TEST(SmoSolver, BoundsWeighTheSmallerClassMore)
{
    PairProblem problem{{1, 2, 3, -1}, {1, 1, 1, -1}, 1, 4};
    const SolverParams params = boundsFor(problem);
    EXPECT_FLOAT_EQ(params.upperPositive, 4 * 0.5 / 3);
    EXPECT_EQ(params.upperNegative, 2.0f);
}

TEST(SmoSolver, EqualCandidatesResolveToTheLowestIndex)
{
    const PairProblem sameUp{{1, 1, -1}, {1, 1, -1}, 1, 3};
    EXPECT_EQ(solve(sameUp, boundsFor(sameUp)).alpha, (std::vector<float>{0.5f, 0.0f, 0.5f}));
    const PairProblem sameLow{{1, -1, -1}, {1, -1, -1}, 1, 3};
    EXPECT_EQ(solve(sameLow, boundsFor(sameLow)).alpha, (std::vector<float>{0.5f, 0.5f, 0.0f}));
}

TEST(SmoSolver, SeparableProblemsReachTheOptimumAndSeparateTheirData)
{
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE(seed);
        const PairProblem problem = randomProblem(seed, 12.0f);
        SolverParams params;
        PairModel model;
        trainPair(problem, params, model);
        const Solution solution = solve(problem, params);
        const Optimality check = optimality(problem, params, solution.alpha);
        EXPECT_TRUE(check.inBox);
        EXPECT_NEAR(check.equality, 0.0, 0.02);
        EXPECT_LE(check.gap(), params.epsilon + GAP_SLACK);
        EXPECT_EQ(model.b, solution.bias);
        for (uint32_t s = 0; s < problem.count; ++s)
            EXPECT_EQ(decision(model, problem, s) >= 0, problem.labels[s] == 1) << "sample " << s;
    }
}

TEST(SmoSolver, OverlappingProblemsSatisfyTheOptimalityConditionsWhenTheyStop)
{
    int stopped = 0;
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE(seed);
        const PairProblem problem = randomProblem(seed, 2.0f);
        SolverParams params = boundsFor(problem);
        const Solution solution = solve(problem, params);
        const Optimality check = optimality(problem, params, solution.alpha);
        EXPECT_TRUE(check.inBox);
        EXPECT_NEAR(check.equality, 0.0, 0.15);
        // A solver that stopped before its limit gives the same answer with a higher limit.
        params.iterationLimit *= 2;
        if (solve(problem, params) == solution) {
            ++stopped;
            EXPECT_LE(check.gap(), params.epsilon + GAP_SLACK);
        }
    }
    EXPECT_GE(stopped, 18);
}

TEST(SmoSolver, BiasAtTheIterationLimitComesFromTheLastSelection)
{
    // One class only: nothing can move, and the bias points to the class present.
    const PairProblem negativesOnly{{2, 3}, {-1, -1}, 1, 2};
    EXPECT_EQ(solve(negativesOnly, boundsFor(negativesOnly)).bias, -0.5f);
    const PairProblem positivesOnly{{2, 3}, {1, 1}, 1, 2};
    EXPECT_EQ(solve(positivesOnly, boundsFor(positivesOnly)).bias, 0.5f);

    // After a few steps the bias lies between the most violating multipliers'
    // midpoint and the upper one, computed from the state the last selection saw.
    const PairProblem problem = randomProblem(7, 2.0f);
    SolverParams params = boundsFor(problem);
    params.iterationLimit = 4;
    const float bias = solve(problem, params).bias;
    params.iterationLimit = 3;
    const Optimality before = optimality(problem, params, solve(problem, params).alpha);
    ASSERT_GT(before.gap(), 1.0);
    EXPECT_GE(bias, (before.maxUp + before.minLow) * 0.5 - 0.01);
    EXPECT_LE(bias, before.maxUp + 0.01);
}

TEST(SmoSolver, EmptyProblemStopsAtOnce)
{
    const PairProblem empty{{}, {}, 3, 0};
    EXPECT_EQ(solve(empty, SolverParams{}).bias, 0.0f);
}

}  // namespace
