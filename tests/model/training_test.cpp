#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <iterator>
#include <map>
#include <random>
#include <vector>

#include "model/features.h"
#include "model/parallel_for.h"
#include "model/training.h"
#include "platform/file_size_limit.h"
#include "temp_dir.h"

namespace {

// One amplitude per 130-frame window (0 = quiet). Channel c swings +-amplitude*(c+1)
// around 128 on alternate frames, so every channel mean is exactly 128 and a loud
// window's mean absolute values are exactly amplitude*(c+1).
std::vector<uint8_t> recording(const std::vector<int>& amplitudes, uint32_t channels) {
    std::vector<uint8_t> bytes;
    for (int amplitude : amplitudes)
        for (uint32_t f = 0; f < WINDOW_FRAMES; ++f)
            for (uint32_t c = 0; c < channels; ++c)
                bytes.push_back(static_cast<uint8_t>(128 + (f % 2 ? -1 : 1) * amplitude * static_cast<int>(c + 1)));
    return bytes;
}

using FeatureExtraction = InTempDir;

TEST_F(FeatureExtraction, EmitsTheActiveWindowsAfterTheFirstUpToAndIncludingTheLast) {
    const struct {
        std::vector<int> amplitudes;
        uint32_t channels;
        size_t trailingBytes;  // of a further loud window, which is never complete
        const char* features;
    } cases[] = {
        // Activity starts at windows 2 and 8 (not emitted) and ends at 4 and 9 (emitted).
        {{0, 0, 20, 24, 28, 0, 0, 0, 32, 36, 0, 0},
         3,
         3 * 100 + 2,
         "24.000000 48.000000 72.000000 28.000000 56.000000 84.000000 36.000000 72.000000 108.000000 "},
        {{0, 0, 30, 31, 32, 33, 34}, 1, 0, "31.000000 32.000000 "},  // never the last two windows
        {{30, 30, 30, 30, 30}, 1, 0, ""},                            // variance at the threshold is no activity
        {{40, 0}, 2, 0, ""},                                         // fewer than three windows
    };
    for (const auto& c : cases) {
        std::filesystem::remove("feature3.txt");
        auto bytes = recording(c.amplitudes, c.channels);
        const auto loud = recording({40}, c.channels);
        bytes.insert(bytes.end(), loud.begin(), loud.begin() + c.trailingBytes);
        ASSERT_EQ(extractFeatures("3", bytes.data(), bytes.size(), c.channels), 0);
        EXPECT_TRUE(std::filesystem::exists("feature3.txt")) << "created even when empty";
        EXPECT_EQ(readFile("feature3.txt"), c.features);
    }
    // Windows at steady levels 90 and 160 (channel mean 120) have no variance about
    // their own 130-frame means, so none exceeds the threshold of 0.
    std::vector<uint8_t> steps;
    for (int level : {90, 90, 160, 160, 160, 90, 90})
        steps.insert(steps.end(), WINDOW_FRAMES, static_cast<uint8_t>(level));
    ASSERT_EQ(extractFeatures("4", steps.data(), steps.size(), 1), 0);
    EXPECT_EQ(readFile("feature4.txt"), "");
}

std::vector<float> solve(const PairProblem& problem, const SolverParams& params, float& bias) {
    std::vector<float> alpha(problem.count);
    bias = smoSolve(problem.data.data(), problem.dim, problem.count, problem.labels.data(), params, alpha.data());
    return alpha;
}

// Distance from the dual's optimum, recomputed in double: the largest y*g (g the gradient) of the
// multipliers that may go up less the smallest of those that may go down. Checks box and equality too.
double optimalityGap(const PairProblem& problem, const SolverParams& params, const std::vector<float>& alpha,
                     double equalitySlack) {
    double maxUp = -INFINITY, minLow = INFINITY, equality = 0;
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
        const bool atLower = alpha[s] <= 0.001f, atUpper = alpha[s] >= upper - 0.001f;
        if (y == 1 ? !atUpper : !atLower) maxUp = std::max(maxUp, y * gradient);
        if (y == 1 ? !atLower : !atUpper) minLow = std::min(minLow, y * gradient);
        EXPECT_TRUE(alpha[s] >= 0 && alpha[s] <= upper) << "sample " << s;
        equality += y * double(alpha[s]);
    }
    EXPECT_NEAR(equality, 0.0, equalitySlack);
    return maxUp - minLow;
}

// Feature-like values (5..30) of two classes whose centres lie `separation` apart on every channel.
PairProblem randomProblem(uint32_t seed, float separation) {
    std::mt19937 random(seed);
    PairProblem problem;
    problem.dim = 1 + seed % 8;
    const uint32_t positives = 20 + random() % 40;
    problem.count = positives + 20 + random() % 40;
    std::uniform_real_distribution<float> centre(8.0f, 27.0f - separation);
    std::normal_distribution<float> noise(0.0f, 2.0f);
    std::vector<float> base(problem.dim);
    std::generate(base.begin(), base.end(), [&] { return centre(random); });
    for (uint32_t s = 0; s < problem.count; ++s) {
        problem.labels.push_back(s < positives ? 1 : -1);
        for (uint32_t d = 0; d < problem.dim; ++d)
            problem.data.push_back(base[d] + (s < positives ? separation : 0.0f) + noise(random));
    }
    return problem;
}

TEST(SmoSolver, SmallExamplesMeetHalfwayWeighTheSmallerClassMoreAndMoveTheLowestIndexOnTies) {
    const PairProblem problem{{1.0f, -1.0f}, {1, -1}, 1, 2};
    SolverParams params;
    PairModel model;
    trainPair(problem, params, model);
    EXPECT_EQ(std::make_pair(params.upperPositive, params.upperNegative), std::make_pair(1.0f, 1.0f)) << "C = 1";
    float bias = 1;
    EXPECT_EQ(solve(problem, params, bias), (std::vector<float>{0.5f, 0.5f}));
    EXPECT_EQ(bias, 0.0f);
    trainPair({{1, 2, 3, -1}, {1, 1, 1, -1}, 1, 4}, params, model);
    EXPECT_FLOAT_EQ(params.upperPositive, 4 * 0.5 / 3);
    EXPECT_EQ(params.upperNegative, 2.0f);
    EXPECT_EQ(solve({{1, 1, -1}, {1, 1, -1}, 1, 3}, params, bias), (std::vector<float>{0.5f, 0, 0.5f})) << "ties";
    EXPECT_EQ(solve({{1, -1, -1}, {1, -1, -1}, 1, 3}, params, bias), (std::vector<float>{0.5f, 0.5f, 0})) << "ties";
}

TEST(SmoSolver, SingleStepsSnapSkipCompareEndsAndWeighEveryPositiveMultiplier) {
    // One step from alpha = 0, g = 1, bounds 1: i is the first +1 sample, j the -1 sample
    // with the largest 4 / (2 (x_j - x_i)^2), and alpha_j = 2 / (x_j - x_i)^2 = alpha_i.
    SolverParams params;
    params.iterationLimit = 1;
    params.upperPositive = params.upperNegative = 1;
    float bias = 0;
    // (2 * 0.70725)^2 = 2.00081: alpha_j = 0.999595 stays, alpha_i within 0.001 of its bound snaps to it.
    const std::vector<float> snapped = solve({{0.70725f, -0.70725f}, {1, -1}, 1, 2}, params, bias);
    EXPECT_EQ(snapped[0], 1.0f);
    EXPECT_NEAR(snapped[1], 2 / (4 * 0.70725 * 0.70725), 1e-6);
    // x = 1.01 lies too close to x_i = 1 (a = 0.0002 <= 0.001) and is skipped: j is x = -1, alpha_j = 2 / 4.
    EXPECT_EQ(solve({{1, 1.01f, -1}, {1, -1, -1}, 1, 3}, params, bias), (std::vector<float>{0.5f, 0, 0.5f}));
    // alpha_j = 2 / 64^2 = 2^-11 (alpha_i below 0.001 snaps to 0) still gives w = -2^-11 * 64.
    PairModel model;
    trainPair({{0, 64}, {1, -1}, 1, 2}, params, model);
    EXPECT_EQ(model.w[0], -0.03125f);
    // x = 0 and 2^-5: eta = 2^-10 <= 0.001, so the two ends are compared. With bounds
    // U = 4096 - 2^-12, Obj(U) = U^2 2^-11 - 2U = -2^-11 lies within 0.001 of Obj(0) = 0: no move.
    params.upperPositive = params.upperNegative = 4096 - 1 / 4096.0f;
    EXPECT_EQ(solve({{0, 0.03125f}, {1, -1}, 1, 2}, params, bias), (std::vector<float>{0, 0}));
}

TEST(SmoSolver, SolutionsMeetTheDualsOptimalityConditionsWhenTheSolverStopsBeforeItsLimit) {
    // Float gradients drift by about 1e-3 over thousands of steps with kernels near
    // 1000, and each clipped multiplier shifts the sum y*alpha by less than 0.001.
    constexpr double GAP_SLACK = 0.005;
    int overlappingStopped = 0;
    for (const float separation : {12.0f, 2.0f}) {
        for (uint32_t seed = 1; seed <= 24; ++seed) {
            SCOPED_TRACE("separation " + std::to_string(separation) + " seed " + std::to_string(seed));
            const PairProblem problem = randomProblem(seed, separation);
            SolverParams params;
            PairModel model;
            trainPair(problem, params, model);
            float bias = 0;
            const std::vector<float> alpha = solve(problem, params, bias);
            const double gap = optimalityGap(problem, params, alpha, separation > 10 ? 0.02 : 0.15);
            // A solver that stopped before its limit gives the same answer with a higher limit.
            params.iterationLimit *= 2;
            const bool stopped = solve(problem, params, bias) == alpha && bias == model.b;
            EXPECT_TRUE(stopped || separation < 10) << "separable problems converge";
            overlappingStopped += stopped && separation < 10;
            EXPECT_TRUE(!stopped || gap <= params.epsilon + GAP_SLACK) << "gap " << gap;
        }
    }
    EXPECT_GE(overlappingStopped, 18) << "of 24";
}

TEST(ParallelFor, RunsEveryTaskOnceRethrowsAFailureAfterTheRestAndSharesNoSolverState) {
    for (const size_t count : {0, 1, 57}) {
        std::vector<std::atomic<int>> runs(count);
        parallelFor(count, [&](size_t k) { ++runs[k]; });
        EXPECT_TRUE(std::all_of(runs.begin(), runs.end(), [](const auto& r) { return r.load() == 1; })) << count;
    }
    std::atomic<int> finished{0};
    EXPECT_THROW(parallelFor(20,
                             [&](size_t k) {
                                 if (k == 3) throw std::runtime_error("task 3");
                                 ++finished;
                             }),
                 std::runtime_error);
    EXPECT_EQ(finished.load(), 19);

    // The same problem trained on several threads at once gives one model, bit for bit.
    const PairProblem problem = randomProblem(7, 2.0f);
    std::vector<PairModel> models(8);
    parallelFor(models.size(), [&](size_t k) {
        SolverParams params;
        trainPair(problem, params, models[k]);
    });
    for (const PairModel& model : models) EXPECT_EQ(std::memcmp(&model, &models[0], sizeof model), 0);
}

using Training = InTempDir;

TEST_F(Training, TrainsEveryPairInOrderIntoOneLineOfWeightsThenBias) {
    const struct {
        std::map<int, std::string> features;
        int gestures;
        uint32_t channels;
        const char* model;
    } cases[] = {
        // C = 1: class 1 at 1, class 2 at -1, class 3 at 3. Each pair's maximum-margin
        // line is exact in float: (1,2) w 1 b 0; (1,3) w -1 b 2; (2,3) w -0.5 b 0.5.
        {{{1, "1.000000 "}, {2, "-1.000000 "}, {3, "3.000000 "}}, 3, 1, "1 0\n-1 2\n-0.5 0.5\n"},
        {{{1, "3.000000 "}, {2, "0.000000 "}}, 2, 1, "0.666667 -1\n"},        // six significant digits
        {{{2, "2.000000 1.000000 3.000000 1.000000 "}}, 2, 2, "0 0 -0.5\n"},  // one class: the bias decides
        {{{1, "1.000000 "}}, 3, 1, "0 0.5\n0 0.5\n0 0\n"},                    // pair (2,3) without any sample
    };
    for (const auto& c : cases) {
        for (int k = 1; k <= 3; ++k) std::filesystem::remove("feature" + std::to_string(k) + ".txt");
        for (const auto& [k, text] : c.features) writeFile("feature" + std::to_string(k) + ".txt", text);
        EXPECT_EQ(trainModel(c.gestures, c.channels), 0);
        EXPECT_EQ(readText(MODEL_FILE_NAME), c.model);
    }
}

TEST_F(Training, AModelThatCannotBeWrittenWholeLeavesThePreviousOneAndNoTemporaryFile) {
    writeFile("feature1.txt", "1.000000 ");
    writeFile("feature2.txt", "-1.000000 ");
    writeFile(MODEL_FILE_NAME, "kept\n");
    // The new model "1 0\n" is 4 bytes: a limit of 3 cuts its write short (a full disk).
    if (platform::limitFileSize(3)) {
        const int result = trainModel(2, 1);
        platform::liftFileSizeLimit();
        EXPECT_EQ(result, TRAIN_NOT_WRITTEN);
        EXPECT_EQ(readFile(MODEL_FILE_NAME), "kept\n");
        const auto entries = std::distance(std::filesystem::directory_iterator("."), {});
        EXPECT_EQ(entries, 3) << "the two feature files and the old model, nothing else";
    }

    // A link in its place is never written through, nor replaced.
    writeFile("elsewhere.txt", "theirs\n");
    std::filesystem::remove(MODEL_FILE_NAME);
    std::error_code noLinks;  // libstdc++ on Windows makes none
    std::filesystem::create_symlink("elsewhere.txt", MODEL_FILE_NAME, noLinks);
    if (!noLinks) {
        EXPECT_EQ(trainModel(2, 1), TRAIN_NOT_WRITTEN);
        EXPECT_TRUE(std::filesystem::is_symlink(MODEL_FILE_NAME));
        EXPECT_EQ(readFile("elsewhere.txt"), "theirs\n");
        std::filesystem::remove(MODEL_FILE_NAME);
    }

    EXPECT_EQ(trainModel(2, 1), TRAIN_OK);
    EXPECT_EQ(readText(MODEL_FILE_NAME), "1 0\n");
}

TEST_F(Training, FeatureFilesAreReadAsTextNumbers) {
    writeFile("feature1.txt", "0.100000 -0.000000\n255.000000 ");  // as feature extraction writes
    const FeatureMap features = loadFeatureFiles(2);               // feature2.txt does not exist
    EXPECT_EQ(features.at(1), (std::vector<float>{0.1f, 0.0f, 255.0f}));
    EXPECT_TRUE(std::signbit(features.at(1)[1]));
    EXPECT_TRUE(features.at(2).empty());
}

TEST_F(Training, ModelShapeCountsLineFeedsAndSpaces) {
    int32_t rows = 0, columns = 0;
    EXPECT_FALSE(readModelShape(rows, columns)) << "no file";
    for (const auto& [content, shape] : {std::pair{"1 2 3", std::pair{0, 0}},  // no line feed
                                         {"1 2 3\n4 5\n", {0, 0}},             // 3 spaces over 2 lines
                                         {"1 2\n3 4 5 6\n", {2, 3}},           // only the counts matter
                                         {"1 2 3\r\n4 5 6\r\n7 8 9\r\n", {3, 3}}}) {
        writeFile(MODEL_FILE_NAME, content);
        EXPECT_EQ(readModelShape(rows, columns) ? std::pair(rows, columns) : std::pair(0, 0), shape) << content;
    }
}

}  // namespace
