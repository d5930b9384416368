// The data folder's names, the model's shape, and the readers of its files.
#include "core/data_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

TEST(DataFiles, OnlyRecordingNamesGiveAGestureAndOnlyPairCountsAGestureCount) {
    for (unsigned gesture : {0u, 1u, 9u, 255u}) EXPECT_EQ(gestureOfRawFileName(rawFileName(gesture)), gesture);
    for (const char* name : {"raw256.bin", "raw01.bin", "raw1.bin.tmp", "rawx.bin", "raw.bin", "raw-1.bin", "raw1.BIN"})
        EXPECT_FALSE(gestureOfRawFileName(name)) << name;
    for (int32_t gestures = 2; gestures <= 8; ++gestures)
        EXPECT_EQ(gesturesForModelRows(modelRowsForGestures(gestures)), gestures);
    for (int64_t rows : {-1, 0, 2, 4, 27, 36}) EXPECT_EQ(gesturesForModelRows(rows), 0) << rows;
}

TEST(DataFiles, TextNumbersAreWholeWordsOfFiniteDecimals) {
    EXPECT_EQ(parseTextNumber("1e-05"), 1e-05f);
    EXPECT_TRUE(std::signbit(parseTextNumber("-0").value_or(1)));
    EXPECT_EQ(parseTextNumber("+2.5"), 2.5f);
    EXPECT_EQ(parseTextNumber("1e-50"), 0.0f) << "below the float range: zero, as a stream reads it";
    for (const char* word : {"nan", "inf", "1e39", "1,5", "2x", "0x10", "+-1", "1e", "."})
        EXPECT_FALSE(parseTextNumber(word)) << word;
    const TextNumbers lines = parseTextNumbers("1 -2.5\r\n3e2\r\n"), cut = parseTextNumbers("4 nan 6\n");
    EXPECT_TRUE(lines.values == (std::vector<float>{1.0f, -2.5f, 300.0f}) && lines.complete);
    EXPECT_TRUE(cut.values == std::vector<float>{4.0f} && !cut.complete);
}

TEST(DataFiles, AWholeFileReadTellsAMissingFileAndAFailedReadFromItsEnd) {
    const std::string bytes("a\r\n\0\xff", 5);
    std::ofstream("data_files_test.bin", std::ios::binary) << bytes;
    std::string contents = "old";
    EXPECT_TRUE(readWholeFile("data_files_test.bin", contents) == READ_OK && contents == bytes);
    std::remove("data_files_test.bin");
    EXPECT_EQ(readWholeFile("data_files_test.bin", contents), READ_OPEN_FAILED);
    EXPECT_NE(readWholeFile(".", contents), READ_OK) << "a folder is no empty file";
}
