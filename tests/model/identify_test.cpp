#include "model/identify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

namespace {

IdentifyModel pairModel(uint8_t gestures, uint8_t channels, const std::vector<float>& biases, float weight = 0)
{
    IdentifyModel model;
    model.gestures = gestures;
    model.channels = channels;
    for (size_t p = 0; p < biases.size(); ++p) {
        model.pairs[p].bias = biases[p];
        std::fill(model.pairs[p].w, model.pairs[p].w + channels, weight);
    }
    return model;
}

// Bias-only three-class models whose vote is the given class (0: a three-way tie).
IdentifyModel voteFor(int classNumber)
{
    switch (classNumber) {
    case 1: return pairModel(3, 1, {1, 1, 1});
    case 2: return pairModel(3, 1, {-1, 1, 1});
    case 3: return pairModel(3, 1, {1, -1, -1});
    default: return pairModel(3, 1, {1, -1, 1});
    }
}

class Identification : public ::testing::Test {
protected:
    void SetUp() override { resetIdentifyState(state); }

    // Offsets of exactly 128 keep every value below exact in float.
    void useExactOffsets() { std::fill(state.offset, state.offset + 8, 128.0f); }

    // A chunk whose first half swings +-amplitude around 128 on alternate frames,
    // continuing the previous chunk's alternation; the unread second half is noise.
    int feed(int amplitude, const IdentifyModel& model)
    {
        std::vector<uint8_t> chunk(model.channels * 130);
        const size_t half = model.channels * IDENTIFY_HALF_FRAMES;
        for (size_t k = 0; k < half; ++k) {
            const bool positive = ((k / model.channels) % 2 == 0) == positiveStart;
            chunk[k] = static_cast<uint8_t>(128 + (positive ? amplitude : -amplitude));
        }
        for (size_t k = half; k < chunk.size(); ++k)
            chunk[k] = static_cast<uint8_t>(noise());
        positiveStart = !positiveStart;
        return identifyChunk(chunk.data(), state, model);
    }

    IdentifyState state;
    bool positiveStart = true;
    std::mt19937 noise{3};
};

TEST_F(Identification, FirstChunkAfterAResetOnlyPrimes)
{
    state.activeCount = 5;
    state.tally[2] = 4;
    resetIdentifyState(state);
    EXPECT_EQ(state.offset[7], 121.8f);
    EXPECT_TRUE(state.idle);
    EXPECT_EQ(state.activeCount, 0);
    EXPECT_EQ(state.tally[2], 0u);

    const IdentifyModel model = pairModel(2, 8, {1});
    std::vector<uint8_t> chunk(8 * 130);
    for (size_t k = 0; k < chunk.size(); ++k)
        chunk[k] = static_cast<uint8_t>(k * 7);
    EXPECT_EQ(identifyChunk(chunk.data(), state, model), 0);
    EXPECT_TRUE(state.primed);
    EXPECT_EQ(std::memcmp(state.storedHalf, chunk.data(), sizeof state.storedHalf), 0);
    EXPECT_EQ(state.offset[0], 123.69f);

    const std::vector<uint8_t> other(8 * 130, 0xAA);
    EXPECT_EQ(identifyChunk(other.data(), state, IdentifyModel{}), 0);  // no model loaded: ignored
    EXPECT_EQ(std::memcmp(state.storedHalf, chunk.data(), sizeof state.storedHalf), 0);
}

TEST_F(Identification, IdlenessEndsOnAVarianceJumpAboveOneHundred)
{
    const IdentifyModel model = pairModel(2, 1, {1});
    feed(0, model);
    EXPECT_EQ(feed(0, model), 0);  // 0/0 is no jump
    EXPECT_TRUE(state.idle);
    EXPECT_EQ(feed(12, model), 0);  // variance about 72 after 0: a jump, but too small
    EXPECT_TRUE(state.idle);
    feed(0, model);
    feed(0, model);
    EXPECT_EQ(feed(17, model), 0);  // about 144 after 0: active, this window unclassified
    EXPECT_FALSE(state.idle);
}

TEST_F(Identification, IdlenessEndsOnSustainedVarianceAboveTwoHundred)
{
    const IdentifyModel model = pairModel(2, 1, {1});
    // Window variances about 0, 40, 81, 185, 289, 289: every ratio stays below 4.
    for (int amplitude : {0, 0, 9, 9, 17, 17}) {
        EXPECT_EQ(feed(amplitude, model), 0);
        EXPECT_TRUE(state.idle);
    }
    EXPECT_EQ(feed(17, model), 0);
    EXPECT_FALSE(state.idle);
    feed(17, model);
    EXPECT_EQ(state.activeCount, 1);
}

TEST_F(Identification, SmoothingAndTallyShapeTheAnswer)
{
    feed(20, voteFor(1));
    feed(20, voteFor(1));  // activates
    const int votes[] = {1, 1, 2, 3, 2, 2, 3, 3, 3, 3};
    const int expected[] = {0, 1, 1, 0, 2, 2, 2, 2, 2, 3};
    for (size_t k = 0; k < std::size(votes); ++k)
        EXPECT_EQ(feed(20, voteFor(votes[k])), expected[k]) << "window " << k;
    EXPECT_EQ(state.tally[2], 3u);
    EXPECT_EQ(state.tally[3], 3u);
    EXPECT_FALSE(state.idle);
}

TEST_F(Identification, EqualVotesFavourTheHigherClass)
{
    feed(20, voteFor(1));
    feed(20, voteFor(1));
    feed(20, voteFor(0));
    EXPECT_EQ(state.history[2], 3);
}

TEST_F(Identification, ReturnsToIdleNotBeforeTheThirdClassifiedWindow)
{
    const IdentifyModel model = voteFor(1);
    feed(0, model);
    feed(0, model);
    EXPECT_EQ(feed(16, model), 0);  // variance about 128: active
    ASSERT_FALSE(state.idle);
    EXPECT_EQ(feed(0, model), 0);  // both variances now below 200
    EXPECT_FALSE(state.idle);
    EXPECT_EQ(feed(0, model), 1);
    EXPECT_FALSE(state.idle);
    EXPECT_EQ(feed(0, model), 1);  // the result still counts
    EXPECT_TRUE(state.idle);
    EXPECT_EQ(state.tally[1], 0u);
    EXPECT_EQ(state.history[0] + state.history[1] + state.history[2], 0);
}

TEST_F(Identification, TwoGesturesFollowTheSignOfTheirOnePair)
{
    // Channel features accumulate over active windows: 16, then (16 + 2080) / 130.
    useExactOffsets();
    const IdentifyModel atThreshold = pairModel(2, 1, {-16.0f}, 1.0f);
    feed(16, atThreshold);
    feed(16, atThreshold);
    feed(16, atThreshold);
    EXPECT_EQ(state.channelMav[0], 16.0f);
    EXPECT_EQ(state.history[2], 1);  // pair value exactly 0 decides for class 1
    EXPECT_EQ(feed(16, atThreshold), 1);
    EXPECT_EQ(state.channelMav[0], 2096.0f / 130.0f);

    const IdentifyModel aboveIt = pairModel(2, 1, {-16.2f}, 1.0f);
    EXPECT_EQ(feed(16, aboveIt), 1);  // 1, 1, 2: the two before agree
    EXPECT_EQ(feed(16, aboveIt), 2);
}

TEST(GestureForClass, CountsTheSetBitsOfTheMask)
{
    EXPECT_EQ(gestureForClass(1, 0b00101010), 2);
    EXPECT_EQ(gestureForClass(2, 0b00101010), 4);
    EXPECT_EQ(gestureForClass(3, 0b00101010), 6);
    EXPECT_EQ(gestureForClass(4, 0b00101010), NO_GESTURE);
    EXPECT_EQ(gestureForClass(0, 0b00101010), NO_GESTURE);
    EXPECT_EQ(gestureForClass(8, 0xFF), 8);
    EXPECT_EQ(gestureForClass(9, 0xFF), NO_GESTURE);
}

}  // namespace
