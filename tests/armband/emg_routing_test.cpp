#include "armband/emg_routing.h"

#include <gtest/gtest.h>

#include <numeric>

#include "core/event_queue.h"
#include "core/operating_state.h"

namespace {

std::vector<uint8_t> streamBytes(size_t from, size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>((from + i) * 13 + 5);
    return bytes;
}

class RoutingTest : public ::testing::Test {
protected:
    void SetUp() override {
        recordBuffer->clear();
        identifyBuffer->clear();
    }
    void TearDown() override {
        operatingMode = MODE_IDLE;
        identifyWindowLength = 0;
    }
};

// Routes stream bytes from..from+count as one packet.
void route(size_t from, size_t count) {
    const std::vector<uint8_t> packet = streamBytes(from, count);
    routeEmgPacket(packet.data(), packet.size());
}

std::vector<uint8_t> preview(const std::vector<uint8_t>& packet) {
    uint8_t out[255];
    return std::vector<uint8_t>(out, out + buildEmgPreview(packet.data(), packet.size(), out));
}

}  // namespace

TEST_F(RoutingTest, PreviewCarriesFramesZeroFourEightAndTwelve) {
    const std::vector<uint8_t> packet = streamBytes(0, 128);
    std::vector<uint8_t> expected(33, 0x07);
    for (size_t block = 0; block < 4; ++block) {
        std::copy(packet.begin() + 32 * block, packet.begin() + 32 * block + 8, expected.begin() + 1 + 8 * block);
    }
    EXPECT_EQ(preview(packet), expected);

    const std::vector<uint8_t> oneChannel = streamBytes(0, 16);
    EXPECT_EQ(preview(oneChannel),
              (std::vector<uint8_t>{0x07, oneChannel[0], oneChannel[4], oneChannel[8], oneChannel[12]}));
    EXPECT_EQ(preview(streamBytes(0, 15)), (std::vector<uint8_t>{0x07}));
    // 40 bytes: blocks of 40 / 16 = 2 bytes at 0, 8, 16, 24.
    const std::vector<uint8_t> uneven = streamBytes(0, 40);
    EXPECT_EQ(preview(uneven), (std::vector<uint8_t>{0x07, uneven[0], uneven[1], uneven[8], uneven[9], uneven[16],
                                                     uneven[17], uneven[24], uneven[25]}));
}

TEST_F(RoutingTest, PreviewOfAnOversizedPacketStaysWithin255Bytes) {
    const std::vector<uint8_t> packet = streamBytes(0, 1024 + 64);  // 68 bytes per block
    const std::vector<uint8_t> out = preview(packet);
    ASSERT_EQ(out.size(), 1u + 3 * 68);  // three whole blocks fit, the fourth does not
    EXPECT_TRUE(std::equal(out.begin() + 1 + 2 * 68, out.end(), packet.begin() + 8 * 68));
    EXPECT_EQ(preview(streamBytes(0, 1020)).size(), 253u);    // the largest packet that needs no cut
    EXPECT_EQ(preview(streamBytes(0, 16 * 300)).size(), 1u);  // not even one block fits
}

TEST_F(RoutingTest, IdentificationCutsHalfOverlappingWindows) {
    operatingMode = MODE_IDENTIFYING;
    identifyWindowLength = 1040;
    for (size_t packet = 0; packet < 8; ++packet) route(packet * 128, 128);
    // 1024 bytes held: not more than the window, nothing cut.
    EXPECT_EQ(identifyBuffer->size(), 1024u);
    route(8 * 128, 128);
    EventRecord window = identifyQueue.pop();
    EXPECT_EQ(*window, streamBytes(0, 1040));
    EXPECT_EQ(identifyBuffer->size(), 632u);
    EXPECT_EQ(identifyBuffer->front(), streamBytes(520, 1)[0]);
    // The next window starts at stream byte 520 and is cut once the buffer exceeds 1040 again.
    for (size_t packet = 9; packet < 13; ++packet) route(packet * 128, 128);
    EXPECT_EQ(*identifyQueue.pop(), streamBytes(520, 1040));
    EXPECT_TRUE(recordBuffer->empty());
}

TEST_F(RoutingTest, AtMostOneWindowPerPacketAndNoneAtExactlyTheWindowLength) {
    operatingMode = MODE_IDENTIFYING;
    identifyWindowLength = 130;
    route(0, 130);
    EXPECT_EQ(identifyBuffer->size(), 130u);
    route(130, 500);
    EXPECT_EQ(*identifyQueue.pop(), streamBytes(0, 130));
    EXPECT_EQ(identifyBuffer->size(), 630u - 65);
}

TEST_F(RoutingTest, OtherModesDropPackets) {
    for (int mode : {MODE_IDLE, MODE_GESTURE_STREAM}) {
        operatingMode = mode;
        route(0, 128);
    }
    EXPECT_TRUE(recordBuffer->empty());
    EXPECT_TRUE(identifyBuffer->empty());
}
