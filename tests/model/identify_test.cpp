#include "model/identify.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

#include "temp_dir.h"

namespace {

IdentifyModel pairModel(uint8_t gestures, const std::vector<float>& biases, float weight = 0, uint8_t channels = 1) {
    IdentifyModel model;
    model.gestures = gestures;
    model.channels = channels;
    for (size_t p = 0; p < biases.size(); ++p) model.pairs[p] = {biases[p], {weight}};
    return model;
}

// Bias-only three-class models whose vote is the given class (0: a three-way tie).
IdentifyModel voteFor(int classNumber) {
    const std::vector<float> biases[] = {{1, -1, 1}, {1, 1, 1}, {-1, 1, 1}, {1, -1, -1}};
    return pairModel(3, biases[classNumber]);
}

class Identification : public ::testing::Test {
protected:
    void SetUp() override { resetIdentifyState(state); }

    // A one-channel chunk whose first half swings +-amplitude around 128 on alternate
    // frames, continuing the previous chunk's alternation; the unread second half is noise.
    int feed(int amplitude, const IdentifyModel& model) {
        uint8_t chunk[130];
        for (uint32_t f = 0; f < WINDOW_HALF_FRAMES; ++f)
            chunk[f] = static_cast<uint8_t>(128 + ((f % 2 == 0) == positiveStart ? amplitude : -amplitude));
        for (uint32_t f = WINDOW_HALF_FRAMES; f < WINDOW_FRAMES; ++f) chunk[f] = static_cast<uint8_t>(noise());
        positiveStart = !positiveStart;
        return identifyChunk(chunk, state, model);
    }

    IdentifyState state;
    bool positiveStart = true;
    std::mt19937 noise{3};
};

TEST_F(Identification, FirstChunkAfterAResetOnlyPrimes) {
    std::vector<uint8_t> chunk(8 * 130);
    for (size_t k = 0; k < chunk.size(); ++k) chunk[k] = static_cast<uint8_t>(k * 7);
    EXPECT_EQ(identifyChunk(chunk.data(), state, pairModel(2, {1}, 0, 8)), 0);
    EXPECT_TRUE(state.primed);
    EXPECT_EQ(std::memcmp(state.storedHalf, chunk.data(), sizeof state.storedHalf), 0);
    EXPECT_EQ(state.offset[0], 123.69f);

    EXPECT_EQ(identifyChunk(std::vector<uint8_t>(8 * 130, 0xAA).data(), state, {}), 0);  // no model: ignored
    EXPECT_EQ(std::memcmp(state.storedHalf, chunk.data(), sizeof state.storedHalf), 0);

    // Each window moves the baseline halfway to its own mean: 128 -> 114 -> 107 for a steady 100.
    resetIdentifyState(state);
    state.offset[0] = 128.0f;
    const std::vector<uint8_t> steady(130, 100);
    for (float expected : {128.0f, 114.0f, 107.0f}) {
        identifyChunk(steady.data(), state, pairModel(2, {1}));
        EXPECT_EQ(state.offset[0], expected);
    }
}

TEST_F(Identification, ActivityStartsOnAJumpOrSustainedVarianceAndEndsAfterThreeClassifiedWindows) {
    const struct {
        std::vector<int> amplitudes;  // a window swinging +-a has a variance of about a*a
        std::vector<int> results;
        const char* idle;  // after each chunk: I idle, A active
    } cases[] = {
        // 0 after 0 is no jump; about 72 after 0 too small a one; about 144 after 0 starts activity.
        {{0, 0, 12, 0, 0, 17}, {0, 0, 0, 0, 0, 0}, "IIIIIA"},
        // About 0, 40, 81, 185, 289, 289: no ratio reaches 4, but two variances above 200 do.
        {{0, 0, 9, 9, 17, 17, 17, 17}, {0, 0, 0, 0, 0, 0, 0, 0}, "IIIIIIAA"},
        // Quiet again at once; idle with the third classified window, whose result still counts.
        {{0, 0, 16, 0, 0, 0}, {0, 0, 0, 0, 1, 1}, "IIAAAI"},
    };
    for (const auto& c : cases) {
        resetIdentifyState(state);
        for (size_t k = 0; k < c.amplitudes.size(); ++k) {
            EXPECT_EQ(feed(c.amplitudes[k], voteFor(1)), c.results[k]) << c.idle << " chunk " << k;
            EXPECT_EQ(state.idle, c.idle[k] == 'I') << c.idle << " chunk " << k;
        }
        EXPECT_TRUE(!state.idle || state.tally[1] + state.history[0] + state.history[1] + state.history[2] == 0);
    }
}

TEST_F(Identification, SmoothingAndTallyShapeTheAnswerAndTiesGoToTheHigherClass) {
    feed(20, voteFor(1));
    feed(20, voteFor(1));  // activates
    const int votes[] = {1, 1, 2, 3, 2, 2, 3, 3, 3, 3};
    const int expected[] = {0, 1, 1, 0, 2, 2, 2, 2, 2, 3};
    for (size_t k = 0; k < std::size(votes); ++k) EXPECT_EQ(feed(20, voteFor(votes[k])), expected[k]) << "window " << k;
    EXPECT_EQ(std::make_pair(state.tally[2], state.tally[3]), std::make_pair(3u, 3u));
    feed(20, voteFor(0));
    EXPECT_EQ(state.history[2], 3);
}

TEST_F(Identification, TwoGesturesFollowTheSignOfTheirOnePair) {
    // Offsets of exactly 128 keep every value exact in float. Channel features
    // accumulate over active windows: 16, then (16 + 2080) / 130.
    std::fill(state.offset, state.offset + 8, 128.0f);
    const IdentifyModel atThreshold = pairModel(2, {-16.0f}, 1.0f);
    for (int k = 0; k < 3; ++k) feed(16, atThreshold);
    EXPECT_EQ(state.channelMav[0], 16.0f);
    EXPECT_EQ(state.history[2], 1);  // pair value exactly 0 decides for class 1
    EXPECT_EQ(feed(16, atThreshold), 1);
    EXPECT_EQ(state.channelMav[0], 2096.0f / 130.0f);
    EXPECT_EQ(feed(16, pairModel(2, {-16.2f}, 1.0f)), 1);  // above it: 1, 1, 2, and the two before agree
    EXPECT_EQ(feed(16, pairModel(2, {-16.2f}, 1.0f)), 2);
}

TEST(GestureForClass, CountsTheSetBitsOfTheMask) {
    const int cases[][3] = {{1, 0x2A, 2},          {2, 0x2A, 4}, {3, 0x2A, 6},         {4, 0x2A, NO_GESTURE},
                            {0, 0x2A, NO_GESTURE}, {8, 0xFF, 8}, {9, 0xFF, NO_GESTURE}};
    for (const auto& [classNumber, mask, gesture] : cases)
        EXPECT_EQ(gestureForClass(classNumber, static_cast<uint8_t>(mask)), gesture) << classNumber << " of " << mask;
}

using IdentifyModelLoad = InTempDir;

TEST_F(IdentifyModelLoad, RejectsShapesTheModelCannotHoldTouchingNothing) {
    IdentifyModel model;
    IdentifyState state;
    model.gestures = 42;  // sentinels showing whether a load touched them
    state.activeCount = 7;
    writeFile("W&B.txt", "1 2 3 4 5 6 7 8 9 10 11 12 13 14\n");
    for (const auto& [rows, columns] : {std::pair{1, 10}, {2, 3}, {0, 3}, {1, 1}, {36, 9}, {-1, 3}, {3, -5}}) {
        EXPECT_FALSE(modelShapeUsable(rows, columns)) << rows << "x" << columns;
        EXPECT_EQ(loadIdentifyModel(rows, columns, model, state), -2) << rows << "x" << columns;
    }
    EXPECT_EQ(model.gestures, 42);
    EXPECT_EQ(state.activeCount, 7);
    EXPECT_TRUE(modelShapeUsable(1, 2) && modelShapeUsable(3, 5) && modelShapeUsable(28, 9));
}

}  // namespace
