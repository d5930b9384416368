#include "model/training_files.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>

#include "temp_dir.h"

namespace {

class Training : public InTempDir {};

TEST_F(Training, TrainsEveryPairInOrderAndWritesOneLinePerPair)
{
    // C = 1: class 1 at 1, class 2 at -1, class 3 at 3. Each pair's maximum-margin
    // line is exact in float: (1,2) w 1 b 0; (1,3) w -1 b 2; (2,3) w -0.5 b 0.5.
    writeFile("feature1.txt", "1.000000 ");
    writeFile("feature2.txt", "-1.000000 ");
    writeFile("feature3.txt", "3.000000 ");
    EXPECT_EQ(trainModel(3, 1), 0);
    EXPECT_EQ(readFile(MODEL_FILE_NAME), "1 0\n-1 2\n-0.5 0.5\n");
}

TEST_F(Training, WritesOneLinePerPairWithASpacePerChannelAndTheSameBytesEveryRun)
{
    std::mt19937 random(5);
    std::normal_distribution<float> value(15.0f, 5.0f);
    for (int k = 1; k <= 4; ++k) {
        std::string text;
        for (int n = 0; n < 8 * 30; ++n) {
            char number[32];
            std::snprintf(number, sizeof number, "%f ", value(random) + 3.0f * k);
            text += number;
        }
        writeFile("feature" + std::to_string(k) + ".txt", text);
    }
    trainModel(4, 8);
    const std::string model = readFile(MODEL_FILE_NAME);
    ASSERT_FALSE(model.empty());
    EXPECT_EQ(model.back(), '\n');
    std::istringstream lines(model);
    std::string line;
    int rows = 0;
    for (; std::getline(lines, line); ++rows) {
        EXPECT_EQ(std::count(line.begin(), line.end(), ' '), 8) << line;
        std::istringstream numbers(line);
        float value = 0;
        int count = 0;
        while (numbers >> value)
            ++count;
        EXPECT_TRUE(numbers.eof() && count == 9 && line.back() != ' ') << line;
    }
    EXPECT_EQ(rows, 6);

    trainModel(4, 8);
    EXPECT_EQ(readFile(MODEL_FILE_NAME), model);
}

TEST_F(Training, NumbersUseTheStreamsDefaultFloatFormat)
{
    PairModel model;
    model.w[0] = 0.5f;
    model.w[1] = -0.0123456789f;
    model.w[2] = 1.23456789e-05f;
    model.b = 123456789.0f;
    std::ostringstream out;
    writePairLine(out, model, 3);
    EXPECT_EQ(out.str(), "0.5 -0.0123457 1.23457e-05 1.23457e+08\n");
}

TEST_F(Training, SingleGestureGivesAnEmptyFile)
{
    writeFile("feature1.txt", "1.000000 ");
    EXPECT_EQ(trainModel(1, 1), 0);
    EXPECT_TRUE(exists(MODEL_FILE_NAME));
    EXPECT_EQ(readFile(MODEL_FILE_NAME), "");
}

TEST_F(Training, MissingFeatureFilesGiveZeroWeights)
{
    // Only class 2 has samples: zero weights, and the bias decides for class 2.
    writeFile("feature2.txt", "2.000000 1.000000 3.000000 1.000000 ");
    EXPECT_EQ(trainModel(2, 2), 0);
    EXPECT_EQ(readFile(MODEL_FILE_NAME), "0 0 -0.5\n");
    std::remove("feature2.txt");
    EXPECT_EQ(trainModel(2, 2), 0);
    EXPECT_EQ(readFile(MODEL_FILE_NAME), "0 0 0\n");
}

TEST_F(Training, RejectsChannelCountsOutsideOneToEight)
{
    writeFile("feature1.txt", "1.000000 ");
    writeFile("feature2.txt", "-1.000000 ");
    EXPECT_NE(trainModel(2, 0), 0);
    EXPECT_NE(trainModel(2, 9), 0);
    EXPECT_FALSE(exists(MODEL_FILE_NAME));
}

TEST_F(Training, FeatureFilesAreReadUpToTheFirstNonNumber)
{
    writeFile("feature1.txt", "1.5 2.5\n3.5 x 4.5");
    const FeatureMap features = loadFeatureFiles(2);
    ASSERT_EQ(features.size(), 2u);
    EXPECT_EQ(features.at(1), (std::vector<float>{1.5f, 2.5f, 3.5f}));
    EXPECT_TRUE(features.at(2).empty());
}

TEST_F(Training, PairProblemsLabelTheLowerClassPositive)
{
    const FeatureMap features{{1, {1, 2, 3, 4}}, {2, {5, 6}}};
    const PairProblem problem = buildPairProblem(features, 1, 2, 2);
    EXPECT_EQ(problem.data, (std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(problem.labels, (std::vector<int32_t>{1, 1, -1}));
    EXPECT_EQ(problem.count, 3u);
    EXPECT_EQ(buildPairProblem(features, 2, 3, 2).labels, (std::vector<int32_t>{1}));
}

TEST_F(Training, ModelShapeCountsLineFeedsAndSpaces)
{
    int32_t rows = -1;
    int32_t columns = -1;
    EXPECT_FALSE(readModelShape(rows, columns));  // no file

    writeFile(MODEL_FILE_NAME, "1 2 3");
    EXPECT_FALSE(readModelShape(rows, columns));  // no line feed

    writeFile(MODEL_FILE_NAME, "1 2 3\n4 5\n");
    EXPECT_FALSE(readModelShape(rows, columns));  // 3 spaces over 2 lines

    writeFile(MODEL_FILE_NAME, "1 2\n3 4 5 6\n");
    ASSERT_TRUE(readModelShape(rows, columns));
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(columns, 3);

    writeFile(MODEL_FILE_NAME, "1 2 3\r\n4 5 6\r\n7 8 9\r\n");
    ASSERT_TRUE(readModelShape(rows, columns));
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(columns, 3);
}

}  // namespace
