// The whole training flow from a client's point of view, on the virtual
// armband: scan, connect, configure, one recording per gesture, generate,
// update, identify.
#include <cstdio>
#include <fstream>
#include <thread>

#include "tests/e2e/session.h"

namespace {

constexpr int HOLD_MS = 2500;

// Records 30 s of one gesture while the subject alternates holding it and resting.
std::optional<Bytes> recordGesture(Session& s, uint8_t gesture) {
    if (!s.client.send({0x06, gesture})) return std::nullopt;
    const int64_t started = nowMs();
    bool holding = false;
    while (nowMs() - started < 29000) {
        holding = !holding;
        s.controlCommand(holding ? "gesture " + std::to_string(gesture) : "gesture 0");
        std::this_thread::sleep_for(std::chrono::milliseconds(HOLD_MS));
    }
    s.controlCommand("gesture 0");
    return s.client.waitForCode(0x06, 10000);
}

std::string toHex(const std::string& bytes) {
    std::string hex;
    for (unsigned char c : bytes) hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    return hex;
}

}  // namespace

TEST(TrainingFlow, RecordGenerateUpdateAndIdentifyThreeGestures) {
    Session s;
    ASSERT_TRUE(s.open());
    ASSERT_TRUE(s.connectArmband());
    ASSERT_EQ(s.request({0x05, 0xFF, 0x07}, 0x05), (Bytes{0x05, 0x00}));
    for (uint8_t g = 1; g <= 3; ++g) ASSERT_EQ(recordGesture(s, g), (Bytes{0x06, 0x00})) << "gesture " << int(g);

    ASSERT_EQ(s.request({0x0A}, 0x0A, 30000), (Bytes{0x0A, 0x00}));

    // The same recordings through `emgbridge evaluate`, which leaves the folder as it is.
    const std::string command = serverBinary() + " evaluate --json --channels 8 --data-dir " + s.server.path(".");
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char head[64] = {};
    EXPECT_NE(std::fgets(head, sizeof head, pipe), nullptr);
    EXPECT_EQ(std::string(head).rfind("{\"state\":\"done\",\"channels\":8,\"folds\":5,", 0), 0u) << head;
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_FALSE(std::ifstream(s.server.path("feature1.txt")).good());

    ASSERT_TRUE(s.client.send({0x0C}));
    std::vector<uint8_t> progress;
    std::optional<Bytes> result;
    while (!result) {
        std::optional<Bytes> message =
            s.client.waitFor([](const Bytes& b) { return b.at(0) == 0x0D || b.at(0) == 0x0C; }, 5000);
        ASSERT_TRUE(message) << "the model update stalled";
        if (message->at(0) == 0x0D) progress.push_back(message->at(1));
        if (message->at(0) == 0x0C) result = message;
    }
    EXPECT_EQ(result, (Bytes{0x0C, 0x00}));
    EXPECT_EQ(progress, (std::vector<uint8_t>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    const std::string image = readFile(s.server.path("model.bin"));
    EXPECT_EQ(image.size(), 48u + 112u);  // 3 rows of 9 floats, padded to 112 bytes
    EXPECT_NE(s.controlCommand("status").find("\"modelImage\":\"" + toHex(image) + "\""), std::string::npos);

    ASSERT_TRUE(s.client.send({0x08}));
    EXPECT_EQ(s.client.waitForCode(0x08, 3000), (Bytes{0x08, 0xFF})) << "at rest";
    const auto atRest = [](const Bytes& b) { return b == Bytes{0x08, 0xFF}; };
    for (uint8_t g = 1; g <= 3; ++g) {
        ASSERT_EQ(s.controlCommand("gesture " + std::to_string(g)), "ok");
        EXPECT_EQ(s.client.waitForCode(0x08, 5000), (Bytes{0x08, g}));
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        ASSERT_EQ(s.controlCommand("gesture 0"), "ok");
        EXPECT_TRUE(s.client.waitFor(atRest, 5000)) << "back at rest after gesture " << int(g);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    }
    ASSERT_TRUE(s.client.send({0x09}));
    EXPECT_TRUE(s.client.waitFor([](const Bytes& b) { return b == Bytes{0x08, 0xFD}; }, 5000));
    EXPECT_EQ(s.server.stop(), 0);
}
