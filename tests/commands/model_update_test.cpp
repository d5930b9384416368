#include <cstring>
#include <filesystem>
#include <fstream>

#include "commands/model_image.h"
#include "tests/commands/command_fixture.h"

namespace {

float floatAt(const std::string& image, size_t offset) {
    uint32_t bits = 0;
    for (int byte = 0; byte < 4; ++byte)
        bits |= static_cast<uint32_t>(static_cast<uint8_t>(image[offset + byte])) << (8 * byte);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

using ModelUpdateTest = CommandTest;

}  // namespace

TEST_F(ModelUpdateTest, ImageOfFourChannelsAndThreeGestures) {
    configure(0x0F, 0x07);
    writeWeights(3, 5);
    command({0x0C});
    const std::string image = readFile("model.bin");
    ASSERT_EQ(image.size(), 112u);
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 4), (Bytes{0x0F, 0x03, 0x40, 0x00}));
    EXPECT_EQ(image.substr(4, 44), std::string(44, '\0'));
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 5; ++c) EXPECT_EQ(floatAt(image, 48 + 4 * (r * 5 + c)), (r * 10 + c) * 0.5f);
    }
    EXPECT_EQ(image.substr(108), std::string(4, '\0'));
    // Without an armband the transfer cannot start, and the client is told so.
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{HUB_EVT, 0x0C, 0xF2}));
}

TEST_F(ModelUpdateTest, ImageOfTheLargestModel) {
    configure(0xFF, 0xFF);
    writeWeights(28, 9);
    command({0x0C});
    const std::string image = readFile("model.bin");
    ASSERT_EQ(image.size(), 1056u);
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 4), (Bytes{0xFF, 0x08, 0xF0, 0x03}));
    EXPECT_EQ(floatAt(image, 48 + 4 * (27 * 9 + 8)), (270 + 8) * 0.5f);
    eventQueue.pop();
}

TEST_F(ModelUpdateTest, FailureReplies) {
    EXPECT_NE(command({0x0C, 0x00}).find("MODEL_UPDATE CMD lenght error"), std::string::npos);
    EXPECT_EQ(reply(), (Bytes{0x0C, 0xEF}));

    configure(0x0F, 0x07);
    EXPECT_NE(command({0x0C}).find("Wrong W&B file"), std::string::npos);
    EXPECT_EQ(reply(), (Bytes{0x0C, 0xFF})) << "no W&B.txt";

    std::ofstream("W&B.txt") << "1 2 3";
    command({0x0C});
    EXPECT_EQ(reply(), (Bytes{0x0C, 0xFF})) << "no line feed";

    writeWeights(3, 4);  // 3 weights per line while 4 channels are configured
    EXPECT_NE(command({0x0C}).find("There is difference between W&B configuration and channle(gesture) configuration"),
              std::string::npos);
    EXPECT_EQ(reply(), (Bytes{0x0C, 0xFF}));
    EXPECT_EQ(readFile("model.bin"), "") << "the rejected update leaves an empty model.bin";

    std::ofstream("W&B.txt") << "1 2 3 4 5\n1 nan 3 4 5\n1 2 3 4 1e99\n";
    configure(0x0F, 0x07);
    EXPECT_NE(command({0x0C}).find("not a finite number"), std::string::npos);
    EXPECT_EQ(reply(), (Bytes{0x0C, 0xFF}));
    eventQueue.push(makeRecord({0x09}));
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{0x09})) << "nothing went to the armband";
    EXPECT_EQ(readFile("model.bin"), "");

    configure(0, 0);
    writeWeights(3, 5);
    command({0x0C});
    EXPECT_EQ(reply(), (Bytes{0x0C, 0xFF})) << "before any configuration";

    configure(0x0F, 0x07);
    std::remove("model.bin");
    ASSERT_TRUE(std::filesystem::create_directory("model.bin"));
    EXPECT_NE(command({0x0C}).find("Model file operate err"), std::string::npos);
    EXPECT_EQ(reply(), (Bytes{0x0C, 0xEE}));
    // A link in place of "model.bin" is not written through either.
    ASSERT_TRUE(std::filesystem::remove("model.bin"));
    std::ofstream("elsewhere.bin") << "theirs";
    std::error_code linkError;
    std::filesystem::create_symlink("elsewhere.bin", "model.bin", linkError);
    if (linkError) GTEST_SKIP() << "no symbolic links here (libstdc++ on Windows): " << linkError.message();
    const std::string log = command({0x0C});
    EXPECT_NE(log.find("model.bin is a symbolic link"), std::string::npos) << log;
    EXPECT_EQ(reply(), (Bytes{0x0C, 0xEE}));
    EXPECT_EQ(readFile("elsewhere.bin"), "theirs");

    command({0x0D, 0x01});
    EXPECT_EQ(reply(), (Bytes{0x0C, 0xFF}));
    command({0x0D});
    EXPECT_EQ(reply(), (Bytes{0x0C, 0xFD}));
}

TEST(ModelImage, ShortFilesLeaveZeroSlotsAndOversizedShapesAreRefused) {
    uint8_t buffer[MODEL_IMAGE_BUFFER_SIZE];
    ASSERT_EQ(buildModelImage("1.5 2.5\n", 2, 2, 0x01, 2, buffer), 64u);
    float values[4];
    std::memcpy(values, buffer + 48, sizeof values);
    EXPECT_EQ(values[0], 1.5f);
    EXPECT_EQ(values[1], 2.5f);
    EXPECT_EQ(values[2], 0.0f);
    EXPECT_EQ(values[3], 0.0f);
    EXPECT_EQ(buildModelImage("1.5 2.5\n", 40, 9, 0xFF, 8, buffer), 0u);
    EXPECT_EQ(modelPayloadLength(3, 5), 64u);
    EXPECT_EQ(modelPayloadLength(28, 9), 1008u);
}
