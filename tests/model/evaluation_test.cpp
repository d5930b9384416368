// Held-out evaluation: fold assignment, and the figures on recordings of the
// virtual subject whose answer is known (separable gestures, a gesture recorded twice).
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>

#include "commands/evaluation_report.h"
#include "model/evaluation.h"
#include "tests/model/subject_stream.h"
#include "tests/model/temp_dir.h"

namespace {

constexpr uint8_t ALL_CHANNELS = 0xFF;

// 30 s of the subject holding `gesture` for 3 s and resting for 2 s, in turn.
std::shared_ptr<std::vector<uint8_t>> record(int gesture, uint32_t seed) {
    kv::sim::VirtualSubject subject(seed);
    const std::string bytes = subjectStream(subject, ALL_CHANNELS, {{gesture, 3}, {0, 2}}, 30);
    return std::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end());
}

using EvaluationTest = InTempDir;

}  // namespace

TEST(FoldAssignment, ContiguousBlocksInTimeOrder) {
    EXPECT_EQ(foldAssignment(7, 3), (std::vector<uint32_t>{0, 0, 0, 1, 1, 2, 2}));
    EXPECT_EQ(foldAssignment(5, 5), (std::vector<uint32_t>{0, 1, 2, 3, 4}));
    for (size_t windows = 2; windows < 60; ++windows) {
        for (uint32_t folds = 2; folds <= windows; ++folds) {
            const std::vector<uint32_t> fold = foldAssignment(windows, folds);
            std::vector<size_t> size(folds, 0);
            for (size_t w = 0; w < windows; ++w) {
                ASSERT_LT(fold[w], folds);
                ++size[fold[w]];
                // Each fold is one block: the fold number never goes back and never skips one.
                if (w > 0) {
                    ASSERT_TRUE(fold[w] == fold[w - 1] || fold[w] == fold[w - 1] + 1) << windows << "/" << folds;
                }
            }
            for (size_t n : size) ASSERT_TRUE(n == windows / folds || n == windows / folds + 1);
        }
    }
}

TEST_F(EvaluationTest, SeparableGesturesScoreHighAndACopiedGestureIsConfused) {
    RecordingSet recordings{{1, record(1, 11)}, {3, record(3, 12)}, {6, record(6, 13)}};
    Evaluation separable;
    std::string error;
    ASSERT_EQ(evaluateRecordings(recordings, 0b00100101, ALL_CHANNELS, 5, separable, error), 0) << error;
    ASSERT_EQ(separable.gestures.size(), 3u);
    EXPECT_EQ(separable.gestures[2].gesture, 6);
    EXPECT_GE(separable.meanHeldOutAccuracy, 0.95);
    for (size_t k = 0; k < 3; ++k) {
        // Every window is held out exactly once.
        EXPECT_EQ(std::accumulate(separable.confusion[k].begin(), separable.confusion[k].end(), 0u),
                  separable.gestures[k].windows);
        EXPECT_GE(separable.gestures[k].windows, 40u);
        EXPECT_EQ(separable.gestures[k].confusedWith, 0);
    }
    EXPECT_EQ(evaluationJson(separable).find("\"advice\":[]}"), evaluationJson(separable).size() - 12);

    // Gesture 4 is gesture 1 recorded a second time: the two cannot be told apart.
    recordings[4] = record(1, 14);
    Evaluation copied;
    ASSERT_EQ(evaluateRecordings(recordings, 0b00101101, ALL_CHANNELS, 5, copied, error), 0) << error;
    const GestureEvaluation& first = copied.gestures[0];
    const GestureEvaluation& copy = copied.gestures[2];
    ASSERT_EQ(copy.gesture, 4);
    EXPECT_NEAR(first.heldOutAccuracy, 0.5, 0.2);
    EXPECT_NEAR(copy.heldOutAccuracy, 0.5, 0.2);
    EXPECT_EQ(first.confusedWith, 4);
    EXPECT_EQ(copy.confusedWith, 1);
    EXPECT_GE(copied.gestures[1].heldOutAccuracy, 0.95);
    EXPECT_NE(evaluationText(copied).find("gesture 4: "), std::string::npos);
    EXPECT_NE(evaluationText(copied).find("record gesture 4 again"), std::string::npos);
    EXPECT_NE(evaluationJson(copied).find("{\"gesture\":1,\"heldOutAccuracy\":"), std::string::npos);

    // Everything happened in memory.
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::current_path()));

    // The training accuracy is that of the model generation writes, loaded as identification loads it.
    int k = 0;
    for (const auto& [gesture, bytes] : recordings)
        ASSERT_EQ(extractFeatures(std::to_string(++k), bytes->data(), bytes->size(), 8), 0) << int(gesture);
    ASSERT_EQ(trainModel(4, 8), 0);
    const IdentifyModel model = StreamIdentifier().model;
    for (int c = 1; c <= 4; ++c) {
        std::ifstream in("feature" + std::to_string(c) + ".txt");
        float window[8];
        int windows = 0;
        int right = 0;
        while (in >> window[0] >> window[1] >> window[2] >> window[3] >> window[4] >> window[5] >> window[6] >>
               window[7]) {
            ++windows;
            right += voteClass(window, model) == c;
        }
        EXPECT_EQ(static_cast<uint32_t>(windows), copied.gestures[c - 1].windows);
        EXPECT_EQ(static_cast<double>(right) / windows, copied.gestures[c - 1].trainingAccuracy) << c;
    }
}

TEST_F(EvaluationTest, RefusesWhatCannotBeEvaluated) {
    const auto good = record(2, 21);
    const auto shortOne = std::make_shared<std::vector<uint8_t>>(8 * 131, 120);
    // 400 frames of a constant signal: enough bytes, but no active window at all.
    const auto flat = std::make_shared<std::vector<uint8_t>>(8 * 400, 120);
    Evaluation result;
    result.folds = 99;
    std::string error;
    const struct {
        RecordingSet recordings;
        uint8_t gestureMask, channelMask;
        uint32_t folds;
        const char* reason;
    } cases[] = {
        {{{2, good}}, 0x02, 0xFF, 5, "at least two gestures"},
        {{{2, good}}, 0x06, 0xFF, 5, "gesture 3 has no recording"},
        {{{2, good}, {3, good}}, 0x06, 0x00, 5, "no channel"},
        {{{2, good}, {3, good}}, 0x06, 0xFF, 1, "at least 2"},
        {{{2, good}, {3, shortOne}}, 0x06, 0xFF, 5, "gesture 3 is too short"},
        {{{2, good}, {3, flat}}, 0x06, 0xFF, 5, "gesture 3 has 0 active windows, fewer than the 5 folds"},
        {{{2, good}, {3, good}}, 0x06, 0xFF, 1000, "fewer than the 1000 folds"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(evaluateRecordings(c.recordings, c.gestureMask, c.channelMask, c.folds, result, error), -1);
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    EXPECT_EQ(result.folds, 99u);
}
