// A whole 30 s recording through the real binary, with the virtual armband
// replaying known bytes, so that the raw file and the previews can be checked.

#include <fstream>

#include "tests/e2e/session.h"

namespace {

std::string knownStream(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

}  // namespace

TEST(Recording, ThirtySecondsAreSavedExactlyAsStreamed) {
    Session s;
    ASSERT_TRUE(s.open());
    ASSERT_TRUE(s.connectArmband());
    ASSERT_EQ(s.request({0x05, 0x03, 0x03}, 0x05), (Bytes{0x05, 0x00}));  // two channels: 32-byte packets
    const std::string stream = knownStream(45 * 650 * 2);
    const std::string replayPath = s.server.path("replay.bin");
    std::ofstream(replayPath, std::ios::binary) << stream;
    ASSERT_EQ(s.controlCommand("replay " + replayPath), "ok");

    ASSERT_TRUE(s.client.send({0x06, 0x03}));
    std::vector<Bytes> previews;
    std::optional<Bytes> result;
    const int64_t deadline = nowMs() + 40000;
    while (!result && nowMs() < deadline) {
        std::optional<WsMessage> message = s.client.receive(static_cast<int>(deadline - nowMs()));
        ASSERT_TRUE(message) << "no RECORD_RESULT within 40 s";
        if (message->payload.at(0) == 0x07) previews.push_back(message->payload);
        if (message->payload.at(0) == 0x06) result = message->payload;
    }
    EXPECT_EQ(result, (Bytes{0x06, 0x00}));
    EXPECT_TRUE(s.server.waitForLog("TIMER_EVT: 0x01 ", 1000));
    EXPECT_TRUE(s.server.waitForLog("INTERNAL_EVT: 0x01 ", 1000));
    EXPECT_TRUE(s.server.waitForLog("EMG raw data saved: SUCCESS", 1000));

    const std::string raw = readFile(s.server.path("raw3.bin"));
    EXPECT_EQ(raw.size() % 32, 0u);
    EXPECT_NEAR(static_cast<double>(raw.size()), 30.0 * 650 * 2, 30.0 * 650 * 2 * 0.05);
    EXPECT_EQ(raw, stream.substr(0, raw.size())) << "the file holds the packets exactly as delivered";
    ASSERT_EQ(previews.size(), raw.size() / 32) << "one preview per packet";
    for (size_t p = 0; p < previews.size(); p += 97) {
        const size_t at = p * 32;
        Bytes expected{0x07};  // frames 0, 4, 8 and 12 of the two channels
        for (size_t k : {0, 1, 8, 9, 16, 17, 24, 25}) expected.push_back(static_cast<uint8_t>(raw[at + k]));
        EXPECT_EQ(previews[p], expected) << "preview " << p;
    }

    // Killed in the middle of a recording, the server leaves earlier recordings intact.
    ASSERT_TRUE(s.client.send({0x06, 0x03}));
    ASSERT_TRUE(s.client.waitForCode(0x07, 3000));
    s.server.signal(platform::ChildStop::KILL);
    EXPECT_EQ(s.server.wait(5000), platform::KILLED_EXIT_CODE);
    EXPECT_EQ(readFile(s.server.path("raw3.bin")), raw);
}
