#include "model/features.h"

#include <cstdio>
#include <vector>

#include "temp_dir.h"

namespace {

// One amplitude per 130-frame window (0 = quiet). Channel c swings +-amplitude*(c+1)
// around 128 on alternate frames, so every channel mean is exactly 128 and a loud
// window's mean absolute values are exactly amplitude*(c+1).
std::vector<uint8_t> recording(const std::vector<int>& amplitudes, uint32_t channels)
{
    std::vector<uint8_t> bytes;
    for (int amplitude : amplitudes)
        for (uint32_t f = 0; f < FEATURE_WINDOW_FRAMES; ++f)
            for (uint32_t c = 0; c < channels; ++c)
                bytes.push_back(static_cast<uint8_t>(128 + (f % 2 ? -1 : 1) * amplitude * static_cast<int>(c + 1)));
    return bytes;
}

class FeatureExtraction : public InTempDir {
protected:
    std::string extract(const std::vector<uint8_t>& bytes, uint32_t channels)
    {
        EXPECT_EQ(extractFeatures("3", bytes.data(), bytes.size(), channels), 0);
        return readFile("feature3.txt");
    }
};

TEST_F(FeatureExtraction, EmitsWindowsWhileActivityLastsIncludingTheEndingWindow)
{
    // Windows 2..4 and 8..9 are loud; activity starts at 2 and 8 (not emitted),
    // ends at 4 and 9 (emitted).
    const auto bytes = recording({0, 0, 20, 24, 28, 0, 0, 0, 32, 36, 0, 0}, 3);
    EXPECT_EQ(extract(bytes, 3),
              "24.000000 48.000000 72.000000 28.000000 56.000000 84.000000 36.000000 72.000000 108.000000 ");
}

TEST_F(FeatureExtraction, NeverEmitsTheLastTwoWindows)
{
    EXPECT_EQ(extract(recording({0, 0, 30, 31, 32, 33, 34}, 1), 1), "31.000000 32.000000 ");
}

TEST_F(FeatureExtraction, VarianceEqualToTheThresholdIsNotActivity)
{
    EXPECT_EQ(extract(recording({30, 30, 30, 30, 30}, 1), 1), "");
}

TEST_F(FeatureExtraction, ConstantSignalGivesNoFeatures)
{
    EXPECT_EQ(extract(std::vector<uint8_t>(8 * 130 * 10, 77), 8), "");
}

TEST_F(FeatureExtraction, FewerThanThreeWindowsCreateAnEmptyFile)
{
    EXPECT_EQ(extract(recording({40, 0}, 2), 2), "");
    EXPECT_TRUE(exists("feature3.txt"));
}

TEST_F(FeatureExtraction, IgnoresFramesAfterTheLastWindowAndBytesAfterTheLastFrame)
{
    const std::vector<int> amplitudes{0, 0, 20, 24, 28, 0, 0, 0, 32, 36, 0, 0};
    const std::string whole = extract(recording(amplitudes, 3), 3);
    std::remove("feature3.txt");

    auto bytes = recording(amplitudes, 3);
    const auto partialWindow = recording({40}, 3);
    bytes.insert(bytes.end(), partialWindow.begin(), partialWindow.begin() + 3 * 100);
    bytes.push_back(255);
    bytes.push_back(255);
    EXPECT_EQ(extract(bytes, 3), whole);
}

TEST_F(FeatureExtraction, AppendsToTheExistingFile)
{
    const auto bytes = recording({0, 0, 30, 31, 32, 33, 34}, 1);
    extract(bytes, 1);
    EXPECT_EQ(extract(bytes, 1), "31.000000 32.000000 31.000000 32.000000 ");
}

TEST_F(FeatureExtraction, RejectsChannelCountsOutsideOneToEight)
{
    const auto bytes = recording({0, 0, 30, 31, 32}, 1);
    EXPECT_EQ(extractFeatures("3", bytes.data(), bytes.size(), 0), 2);
    EXPECT_EQ(extractFeatures("3", bytes.data(), bytes.size(), 9), 2);
    EXPECT_FALSE(exists("feature3.txt"));
}

TEST_F(FeatureExtraction, ReportsAFileThatCannotBeOpened)
{
    const auto bytes = recording({0, 0, 30, 31, 32}, 1);
    EXPECT_EQ(extractFeatures("/missing/dir", bytes.data(), bytes.size(), 1), 1);
}

}  // namespace
