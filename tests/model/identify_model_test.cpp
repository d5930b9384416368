#include "model/identify.h"

#include "temp_dir.h"

namespace {

class IdentifyModelLoad : public InTempDir {
protected:
    void SetUp() override
    {
        InTempDir::SetUp();
        model.gestures = 42;  // sentinels showing whether a load touched them
        state.activeCount = 7;
    }

    int load(int32_t rows, int32_t columns) { return loadIdentifyModel(rows, columns, model, state); }

    void expectUntouched() const
    {
        EXPECT_EQ(model.gestures, 42);
        EXPECT_EQ(state.activeCount, 7);
    }

    IdentifyModel model;
    IdentifyState state;
};

TEST_F(IdentifyModelLoad, ReadsWeightsThenBiasPerLineAndResetsState)
{
    writeFile("W&B.txt", "1 2 10\n3 4 20\r\n5 6 30\n");
    testing::internal::CaptureStdout();
    ASSERT_EQ(load(3, 3), 0);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("Identify init, detect new model"), std::string::npos);
    EXPECT_NE(log.find("identify gesture number:3"), std::string::npos);
    EXPECT_NE(log.find("identify channel number:2"), std::string::npos);

    EXPECT_EQ(model.gestures, 3);
    EXPECT_EQ(model.channels, 2);
    EXPECT_EQ(model.pairs[0].w[0], 1.0f);
    EXPECT_EQ(model.pairs[0].w[1], 2.0f);
    EXPECT_EQ(model.pairs[0].bias, 10.0f);
    EXPECT_EQ(model.pairs[2].w[1], 6.0f);
    EXPECT_EQ(model.pairs[2].bias, 30.0f);
    EXPECT_EQ(state.activeCount, 0);
    EXPECT_EQ(state.offset[1], 122.67f);
}

TEST_F(IdentifyModelLoad, NumbersMissingOrAfterAFailedReadAreZero)
{
    writeFile("W&B.txt", "1 2 10\n3");
    ASSERT_EQ(load(3, 3), 0);
    EXPECT_EQ(model.pairs[1].w[0], 3.0f);
    EXPECT_EQ(model.pairs[1].w[1], 0.0f);
    EXPECT_EQ(model.pairs[2].bias, 0.0f);

    writeFile("W&B.txt", "1 x 10\n");
    ASSERT_EQ(load(1, 3), 0);
    EXPECT_EQ(model.pairs[0].w[0], 1.0f);
    EXPECT_EQ(model.pairs[0].w[1], 0.0f);
    EXPECT_EQ(model.pairs[0].bias, 0.0f);
}

TEST_F(IdentifyModelLoad, ReadsOnlyTheNumbersItsShapeHolds)
{
    writeFile("W&B.txt", "1 2 3 4 5 6 7 8 9 10 11 12 13 14\n");
    ASSERT_EQ(load(1, 3), 0);
    EXPECT_EQ(model.pairs[0].bias, 3.0f);
    EXPECT_EQ(model.pairs[1].bias, 0.0f);
}

TEST_F(IdentifyModelLoad, RejectsShapesTheModelCannotHold)
{
    writeFile("W&B.txt", "1 2 3 4 5 6 7 8 9 10 11 12 13 14\n");
    for (const auto& [rows, columns] : {std::pair{1, 14}, {2, 3}, {0, 3}, {1, 1}, {36, 9}, {-1, 3}, {3, -5}}) {
        SCOPED_TRACE(std::to_string(rows) + "x" + std::to_string(columns));
        EXPECT_FALSE(modelShapeUsable(rows, columns));
        EXPECT_EQ(load(rows, columns), -2);
        expectUntouched();
    }
    for (int gestures = 2; gestures <= 8; ++gestures)
        EXPECT_TRUE(modelShapeUsable(gestures * (gestures - 1) / 2, 9));
    EXPECT_TRUE(modelShapeUsable(1, 2));
}

TEST_F(IdentifyModelLoad, MissingFileLeavesModelAndState)
{
    EXPECT_EQ(load(3, 3), -1);
    expectUntouched();
}

}  // namespace
