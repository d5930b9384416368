// "W&B.txt" from MODEL_GENERATE's generation on fixed recordings must keep its
// exact bytes: the files in golden/ were written by the solver before any of
// its speed-ups.
#include <string>

#include "bench/training_sets.h"
#include "model/training.h"
#include "temp_dir.h"

void PrintTo(const TrainingSet& set, std::ostream* out) {
    *out << set.name;
}

namespace {

class GoldenModel : public InTempDir, public ::testing::WithParamInterface<TrainingSet> {};

TEST_P(GoldenModel, GenerationWritesTheRecordedBytes) {
    const TrainingSet& set = GetParam();
    ASSERT_EQ(generateModel(recordTrainingSet(set), set.gestureMask, set.channelMask), 0);
    const std::string expected = readFile(std::string(GOLDEN_DIR "/") + set.name + ".txt");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(readFile(MODEL_FILE_NAME), expected);
}

INSTANTIATE_TEST_SUITE_P(Sets, GoldenModel, ::testing::ValuesIn(TRAINING_SETS),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
