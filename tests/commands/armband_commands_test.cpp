// Commands that talk to a held armband, here a fake one that answers at once.
#include "armband/emg_routing.h"
#include "armband/watch_stream.h"
#include "core/timer.h"
#include "tests/commands/command_fixture.h"
#include "tests/commands/fake_armband.h"

namespace {

class ArmbandCommandTest : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        listener = std::make_shared<KinvoHandle>(std::make_shared<FakeHub>());
        testing::internal::CaptureStdout();
        listener->onDeviceFound(armband);
        testing::internal::GetCapturedStdout();
    }
    void TearDown() override {
        recordTimer.stop();
        timerId = TIMER_ID_NONE;
        listener = std::make_shared<KinvoHandle>(nullptr);
        CommandTest::TearDown();
    }
    std::shared_ptr<FakeArmband> armband = std::make_shared<FakeArmband>();
};

}  // namespace

TEST_F(ArmbandCommandTest, ADisconnectionDuringRecordStartEndsTheRecordingUnsaved) {
    armband->config->beforeNotifyAnswer = [](uint32_t) { listener->onDeviceDisconnected(nullptr, 8); };
    configure(0xFF, 0x07);
    command({0x06, 3});
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{HUB_EVT, 0x04, 0x00}));
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF}));
    EXPECT_EQ(timerId.load(), TIMER_ID_NONE) << "no timer armed, so no save later";
    EXPECT_EQ(operatingMode.load(), MODE_IDLE);

    // Without the disconnection the same command records.
    armband->config->beforeNotifyAnswer = nullptr;
    testing::internal::CaptureStdout();
    listener->onDeviceFound(armband);
    testing::internal::GetCapturedStdout();
    command({0x06, 3});
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFF})) << "the disconnection cleared the configuration";
    configure(0xFF, 0x07);
    command({0x06, 3});
    EXPECT_EQ(operatingMode.load(), MODE_RECORDING);
    EXPECT_EQ(timerId.load(), TIMER_ID_RECORD_LIMIT);
    EXPECT_TRUE(nothingSent());
}

TEST_F(ArmbandCommandTest, VersionTextsTravelAsUtf8CutOnlyBetweenCharacters) {
    armband->config->firmware = L"Fw\u00e9";  // e-acute: C3 A9
    armband->config->hardware = std::wstring(200, L'\u00e9');
    command({0x30});
    std::optional<Bytes> versions = reply();
    ASSERT_TRUE(versions);
    // 0x30, "000.005.012", '/', "Fw" C3 A9, '/': 18 bytes; then 118 whole
    // characters of two bytes fit under the 255-byte limit.
    const std::string head =
        "\x30"
        "000.005.012/Fw\xC3\xA9/";
    ASSERT_EQ(versions->size(), 18u + 2 * 118);
    EXPECT_EQ(std::string(versions->begin(), versions->begin() + 18), head);
    for (size_t k = 18; k < versions->size(); k += 2)
        EXPECT_EQ(Bytes(versions->begin() + k, versions->begin() + k + 2), (Bytes{0xC3, 0xA9})) << k;
}

TEST_F(ArmbandCommandTest, GestureStreamingStopsOnlyItselfUnderItsStartCode) {
    command({0x11});
    EXPECT_EQ(reply(), (Bytes{0x10, 0xFC})) << "not streaming";
    command({0x10});
    EXPECT_EQ(operatingMode.load(), MODE_GESTURE_STREAM);
    command({0x10});
    EXPECT_EQ(reply(), (Bytes{0x10, 0xFC})) << "already streaming";
    command({0x11});
    EXPECT_EQ(reply(), (Bytes{0x10, 0xFD}));
    EXPECT_EQ(operatingMode.load(), MODE_IDLE);
}

TEST_F(ArmbandCommandTest, WatchingConsolesGetTheIdleStreamAndPlainClientsDoNot) {
    std::vector<uint32_t> switches;
    armband->config->beforeNotifyAnswer = [&](uint32_t flags) { switches.push_back(flags); };
    Bytes packet(128);
    for (size_t i = 0; i < packet.size(); ++i) packet[i] = static_cast<uint8_t>(i);
    // Frames 0, 4, 8, 12 of 8 channels: bytes 0-7, 32-39, 64-71, 96-103.
    Bytes preview{0x07};
    for (uint8_t block : {0, 32, 64, 96})
        for (uint8_t i = 0; i < 8; ++i) preview.push_back(static_cast<uint8_t>(block + i));

    WsClient console;
    ASSERT_TRUE(console.connect(serverOptions.port, 3000, "/watch"));
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{WATCH_EVT}));
    EXPECT_EQ(consoleWatchers.load(), 1);
    updateWatchStream();
    EXPECT_TRUE(switches.empty()) << "not configured: nothing to watch";
    configure(0xFF, 0x07);
    updateWatchStream();
    updateWatchStream();
    routeEmgPacket(packet.data(), packet.size());
    const std::optional<WsMessage> watched = console.receive(2000);
    ASSERT_TRUE(watched);
    EXPECT_EQ(watched->payload, preview);
    EXPECT_TRUE(nothingSent()) << "a plain client receives no preview while idle";

    // A recording takes the stream over and previews go to every client; watching resumes after it.
    command({0x06, 3});
    routeEmgPacket(packet.data(), packet.size());
    EXPECT_EQ(reply(), preview);
    command({0x07});
    EXPECT_EQ(reply(), (Bytes{0x06, 0xFD}));
    updateWatchStream();
    console.close();
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{WATCH_EVT}));
    EXPECT_EQ(consoleWatchers.load(), 0);
    updateWatchStream();
    EXPECT_EQ(switches, (std::vector<uint32_t>{0x80, 0x80, 0x00, 0x80, 0x00}));
}
