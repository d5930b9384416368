// Listener callbacks called directly, as the SDK's polling thread would.
#include "armband/kinvo_handle.h"

#include <gtest/gtest.h>

#include "core/event_queue.h"
#include "core/operating_state.h"
#include "core/timer.h"

namespace {

class ListenerTest : public ::testing::Test {
protected:
    void TearDown() override { operatingMode = MODE_IDLE; }
    KinvoHandle handle{nullptr};
};

std::string captureLog(const std::function<void()>& action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST_F(ListenerTest, GesturesReachTheClientsOnlyWhileStreaming) {
    operatingMode = MODE_GESTURE_STREAM;
    EXPECT_NE(captureLog([&] { handle.onGestureData(nullptr, 255); }).find("KinvoHandle::onGestureData, Undefined"),
              std::string::npos);
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{HUB_EVT, 0x10, 0xFF}));
    captureLog([&] { handle.onGestureData(nullptr, 1); });
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{HUB_EVT, 0x10, 0x01}));

    operatingMode = MODE_IDLE;
    captureLog([&] { handle.onGestureData(nullptr, 1); });
    eventQueue.push(makeRecord({0x09}));  // marker: nothing was queued before it
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{0x09}));
}

// Each table's last name and the first number past it (the e2e tests read the names in the log).
TEST_F(ListenerTest, NamesEndWithTheirTables) {
    EXPECT_STREQ(gestureName(15), "UserDefine9");
    EXPECT_STREQ(gestureName(16), "Undefined");
    EXPECT_EQ(deviceStatusName(200), "Undefined:200");
}

TEST_F(ListenerTest, DisconnectionResetsTheStateAndCancelsARecording) {
    operatingMode = MODE_RECORDING;
    channelMask = 0xFF;
    channelCount = 8;
    gestureMask = 0x07;
    gestureCount = 3;
    recordGesture = 2;
    lastIdentifyResult = 1;
    timerId = TIMER_ID_RECORD_LIMIT;
    ASSERT_TRUE(recordTimer.start(recordTimerExpired, 100));

    const std::string log = captureLog([&] { handle.onDeviceDisconnected(nullptr, 7); });
    EXPECT_NE(log.find("KinvoHandle::onDeviceDisconnected, reason(7)"), std::string::npos);
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{HUB_EVT, 0x04, 0x00}));
    EXPECT_EQ(operatingMode.load(), MODE_IDLE);
    EXPECT_EQ(channelMask.load(), 0);
    EXPECT_EQ(channelCount.load(), 0);
    EXPECT_EQ(gestureMask.load(), 0);
    EXPECT_EQ(gestureCount.load(), 0);
    EXPECT_EQ(recordGesture.load(), 0xFF);
    EXPECT_EQ(lastIdentifyResult.load(), 0xFF);
    EXPECT_EQ(timerId.load(), TIMER_ID_NONE);
    // The stopped timer never fires: only the marker comes out of the queue.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    eventQueue.push(makeRecord({0x09}));
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{0x09}));
}

TEST_F(ListenerTest, ConnectionWithoutAnArmbandIsAnnouncedAtOnce) {
    captureLog([&] { handle.onDeviceConnected(nullptr); });
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{HUB_EVT, 0x03, 0x00}));
}

TEST_F(ListenerTest, OperationsWithoutAnArmbandReportItAndReturnAtOnce) {
    const std::string log = captureLog([&] {
        handle.setEmgRawDataConfig(0xFF);
        handle.setDataNotifySwitch(NOTIFY_EMG_RAW);
        const auto versions = handle.queryVersions();
        EXPECT_EQ(versions.at("HW"), L"");
        EXPECT_EQ(versions.at("FW"), L"");
        const uint8_t image[48] = {};
        handle.trainModelUpdate(image, sizeof image);
    });
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{HUB_EVT, 0x05, 0xF2}));
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{HUB_EVT, 0x0C, 0xF2}));
    EXPECT_NE(log.find("KinvoHandle::setEmgRawDataConfig, device not exist"), std::string::npos);
    EXPECT_NE(log.find("KinvoHandle::setDataNotifySwitch, device not exist"), std::string::npos);
    EXPECT_NE(log.find("KinvoHandle::trainModelUpdate, device not exist"), std::string::npos);
}
