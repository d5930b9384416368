// "W&B.txt" from MODEL_GENERATE's generation on fixed recordings must keep its
// exact bytes (line ends aside: Windows writes "\r\n"), with the solver's
// plain loops and with its AVX2 loops: the files in golden/ were written by
// the solver before any of its speed-ups.
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>

#include "bench/training_sets.h"
#include "model/number_format.h"
#include "model/solver_loops.h"
#include "model/training.h"
#include "temp_dir.h"

void PrintTo(const TrainingSet& set, std::ostream* out) {
    *out << set.name;
}

namespace {

class GoldenModel : public InTempDir, public ::testing::WithParamInterface<std::tuple<TrainingSet, SolverLoops>> {
protected:
    void TearDown() override {
        useSolverLoops(chosenAtStart_);
        InTempDir::TearDown();
    }

private:
    SolverLoops chosenAtStart_ = solverLoopsInUse();
};

TEST_P(GoldenModel, GenerationWritesTheRecordedBytes) {
    const auto& [set, loops] = GetParam();
    if (!useSolverLoops(loops)) GTEST_SKIP() << "this processor has no AVX2";
    ASSERT_EQ(generateModel(recordTrainingSet(set), set.gestureMask, set.channelMask), 0);
    const std::string expected = readFile(std::string(GOLDEN_DIR "/") + set.name + ".txt");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(readText(MODEL_FILE_NAME), expected);
}

INSTANTIATE_TEST_SUITE_P(Sets, GoldenModel,
                         ::testing::Combine(::testing::ValuesIn(TRAINING_SETS),
                                            ::testing::Values(SolverLoops::BASELINE, SolverLoops::AVX2)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == SolverLoops::AVX2 ? "_avx2" : "_baseline");
                         });

std::string general(double value) {
    std::string text;
    appendGeneralNumber(text, value);
    return text;
}

std::string fixed(double value) {
    std::string text;
    appendFixedNumber(text, value);
    return text;
}

// The golden files were written by an output stream; every number in them,
// read back, is written again with the same characters.
class ModelNumbers : public InTempDir {};

TEST_F(ModelNumbers, GoldenNumbersAreWrittenAsTheStreamWroteThem) {
    size_t numbers = 0;
    for (const TrainingSet& set : TRAINING_SETS) {
        std::istringstream golden(readText(std::string(GOLDEN_DIR "/") + set.name + ".txt"));
        for (std::string token; golden >> token; ++numbers) {
            EXPECT_EQ(general(std::strtod(token.c_str(), nullptr)), token) << set.name;
        }
    }
    EXPECT_GT(numbers, 100u);
}

TEST_F(ModelNumbers, GeneralAndFixedFormsOfHandPickedValues) {
    // Six significant digits; exponents from 1e6 and below 1e-4, two digits at least.
    EXPECT_EQ(general(100000.0), "100000");
    EXPECT_EQ(general(1234567.0), "1.23457e+06");
    EXPECT_EQ(general(0.0001), "0.0001");
    EXPECT_EQ(general(0.00001234), "1.234e-05");
    EXPECT_EQ(general(-0.5), "-0.5");
    EXPECT_EQ(general(-0.0), "-0");
    EXPECT_EQ(general(1e-300), "1e-300");
    // Six decimals, rounded; the sign of a value that rounds to zero is kept.
    EXPECT_EQ(fixed(1.5), "1.500000");
    EXPECT_EQ(fixed(3.14159265), "3.141593");
    EXPECT_EQ(fixed(-0.0000004), "-0.000000");
    EXPECT_EQ(fixed(1e20), "100000000000000000000.000000");
    // Non-finite values as glibc's printf writes them.
    EXPECT_EQ(fixed(INFINITY), "inf");
    EXPECT_EQ(fixed(-INFINITY), "-inf");
    EXPECT_EQ(general(std::nan("")), "nan");
    EXPECT_EQ(general(-std::nan("")), "-nan");
}

}  // namespace
