// The command protocol through the real binary and the virtual armband.
#include <gtest/gtest.h>

#include "tests/e2e/session.h"

namespace {

Bytes withCode(uint8_t code, const std::string& s) {
    Bytes bytes(1 + s.size(), code);
    std::copy(s.begin(), s.end(), bytes.begin() + 1);
    return bytes;
}

// Each test on a server of its own, started with both clients connected.
class Protocol : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(s.open()); }
    Session s;
};

}  // namespace

TEST_F(Protocol, PingLengthRulesAndIgnoredCodes) {
    EXPECT_EQ(s.request({0x01}, 0x01), (Bytes{0x01, 0x00}));
    EXPECT_EQ(s.request({0x01, 0x00}, 0x01), (Bytes{0x01, 0xFF}));
    Bytes long257(257, 0x00);
    long257[0] = 0x01;
    EXPECT_EQ(s.request(long257, 0x01), (Bytes{0x01, 0x00})) << "257 bytes count as 1";
    ASSERT_TRUE(s.client.send({}));
    for (uint8_t code : {0x00, 0x0E, 0x0F, 0x12, 0x2F, 0x31, 0xFE}) ASSERT_TRUE(s.client.send({code, 0x01}));
    EXPECT_TRUE(s.quietFor(300));
}

TEST_F(Protocol, TwoClientsBothReceiveEveryReply) {
    WsClient second;
    ASSERT_TRUE(second.connect(s.server.port()));
    ASSERT_TRUE(s.pingAnswered());  // both are registered once a reply has gone round
    ASSERT_TRUE(second.send({0x01, 0x02}));
    const auto failReply = [](const Bytes& bytes) { return bytes == Bytes{0x01, 0xFF}; };
    EXPECT_TRUE(s.client.waitFor(failReply, 3000));
    EXPECT_TRUE(second.waitFor(failReply, 3000));
}

TEST_F(Protocol, ScanRepeatsUntilTheArmbandIsInRange) {
    EXPECT_EQ(s.request({0x02}, 0x02), (Bytes{0x02, 0xFF})) << "a scan needs two bytes";
    EXPECT_EQ(s.request({0x03}, 0x03), (Bytes{0x03, 0xFF})) << "nothing to connect before a scan";
    EXPECT_EQ(s.request({0x04}, 0x04), (Bytes{0x04, 0xFF}));
    ASSERT_EQ(s.controlCommand("present 0"), "ok");
    ASSERT_TRUE(s.client.send({0x02, 0x00}));
    EXPECT_TRUE(s.quietFor(2500));
    EXPECT_GE(s.server.countInLog("KinvoHandle::onScanFinished, no device found, continue scanning"), 2);
    ASSERT_EQ(s.controlCommand("present 1"), "ok");
    EXPECT_EQ(s.client.waitForCode(0x02, 3000), (Bytes{0x02, 0x00}));
    EXPECT_TRUE(s.server.waitForLog("KinvoHandle::onScanFinished, device found, wait for conn", 1000));
}

TEST_F(Protocol, ConnectConfigureAndDisconnect) {
    EXPECT_EQ(s.request({0x05, 0x0F, 0x07}, 0x05), (Bytes{0x05, 0xF2})) << "no armband yet";
    ASSERT_TRUE(s.connectArmband());
    EXPECT_TRUE(s.server.waitForLog("close all data notify when connected, result(0)", 2000));
    EXPECT_TRUE(s.server.waitForLog("open package id, result(0)", 2000));
    EXPECT_EQ(s.request({0x03}, 0x03), (Bytes{0x03, 0xFF})) << "already connected";

    EXPECT_EQ(s.request({0x05, 0x0F, 0x07}, 0x05), (Bytes{0x05, 0x00}));
    const std::string status = s.controlCommand("status");
    EXPECT_NE(status.find("\"channelMask\":15"), std::string::npos) << status;
    EXPECT_NE(status.find("\"dataLength\":64"), std::string::npos) << status;
    EXPECT_EQ(s.request({0x05, 0x03}, 0x05), (Bytes{0x05, 0xFF}));

    EXPECT_EQ(s.request({0x04}, 0x04), (Bytes{0x04, 0x00}));
    EXPECT_TRUE(s.server.waitForLog("KinvoHandle::onDeviceDisconnected, reason(0)", 2000));
    EXPECT_EQ(s.request({0x04}, 0x04), (Bytes{0x04, 0xFF})) << "nothing left to disconnect";
    EXPECT_EQ(s.request({0x03}, 0x03), (Bytes{0x03, 0xFF})) << "the armband is forgotten on disconnection";
}

TEST_F(Protocol, FailuresOfEveryArmbandOperationGiveTheirStatus) {
    ASSERT_EQ(s.controlCommand("fail scan"), "ok");
    EXPECT_EQ(s.request({0x02, 0x00}, 0x02), (Bytes{0x02, 0xFF}));
    EXPECT_TRUE(s.server.waitForLog("scan starting failed: 1", 1000));
    ASSERT_EQ(s.request({0x02, 0x00}, 0x02), (Bytes{0x02, 0x00}));
    ASSERT_EQ(s.controlCommand("fail connect"), "ok");
    EXPECT_EQ(s.request({0x03}, 0x03), (Bytes{0x03, 0xFF}));
    ASSERT_EQ(s.request({0x03}, 0x03, 6000), (Bytes{0x03, 0x00}));

    ASSERT_EQ(s.controlCommand("fail emg-config 1 5"), "ok");
    EXPECT_EQ(s.request({0x05, 0xFF, 0x07}, 0x05), (Bytes{0x05, 0xF0}));
    EXPECT_TRUE(s.server.waitForLog("result(5)", 1000));
    ASSERT_EQ(s.controlCommand("no-config 1"), "ok");
    EXPECT_EQ(s.request({0x05, 0xFF, 0x07}, 0x05), (Bytes{0x05, 0xF1}));
    ASSERT_EQ(s.controlCommand("no-config 0"), "ok");

    // A data switch that fails twice is tried a third time.
    ASSERT_EQ(s.controlCommand("fail notify 2"), "ok");
    ASSERT_TRUE(s.client.send({0x10}));
    ASSERT_TRUE(s.pingAnswered());
    EXPECT_EQ(s.server.countInLog("KinvoHandle::setDataNotifySwitch, flag=0x00000040"), 3);
    EXPECT_EQ(s.request({0x11}, 0x10), (Bytes{0x10, 0xFD}));

    ASSERT_EQ(s.controlCommand("fail disconnect"), "ok");
    EXPECT_EQ(s.request({0x04}, 0x04), (Bytes{0x04, 0xFF}));
}

TEST_F(Protocol, GestureStreamingForwardsTheArmbandsGestures) {
    ASSERT_TRUE(s.connectArmband());
    s.controlCommand("armband-gesture 3");
    EXPECT_TRUE(s.quietFor(300)) << "no gestures before streaming is on";
    ASSERT_TRUE(s.client.send({0x10}));
    ASSERT_TRUE(s.pingAnswered());
    ASSERT_EQ(s.controlCommand("armband-gesture 3"), "ok");
    EXPECT_EQ(s.client.waitForCode(0x10, 3000), (Bytes{0x10, 0x03}));
    ASSERT_EQ(s.controlCommand("armband-gesture 255"), "ok");
    EXPECT_EQ(s.client.waitForCode(0x10, 3000), (Bytes{0x10, 0xFF}));
    EXPECT_TRUE(s.server.waitForLog("KinvoHandle::onGestureData, Undefined", 1000));
    EXPECT_EQ(s.request({0x06, 0x01}, 0x06), (Bytes{0x06, 0xFF})) << "not idle";
    EXPECT_EQ(s.request({0x11}, 0x10), (Bytes{0x10, 0xFD}));
}

TEST_F(Protocol, ArmbandLossAndStatusReports) {
    ASSERT_TRUE(s.connectArmband());
    ASSERT_TRUE(s.client.send({0x10}));
    ASSERT_TRUE(s.pingAnswered());
    ASSERT_EQ(s.controlCommand("device-status 4"), "ok");
    EXPECT_TRUE(s.server.waitForLog("KinvoHandle::onDeviceStatusChanged, Motionless", 2000));
    ASSERT_EQ(s.controlCommand("device-status 0"), "ok");
    EXPECT_TRUE(s.server.waitForLog("KinvoHandle::onDeviceStatusChanged, Undefined:0", 2000));
    ASSERT_EQ(s.controlCommand("hub-state 2"), "ok");
    EXPECT_TRUE(s.server.waitForLog("KinvoHandle::onStateChanged, new state is 2", 2000));

    ASSERT_EQ(s.controlCommand("drop 9"), "ok");
    EXPECT_EQ(s.client.waitForCode(0x04, 3000), (Bytes{0x04, 0x00}));
    EXPECT_TRUE(s.server.waitForLog("KinvoHandle::onDeviceDisconnected, reason(9)", 1000));
    EXPECT_EQ(s.request({0x11}, 0x10), (Bytes{0x10, 0xFC})) << "the loss ended gesture streaming";
}

TEST_F(Protocol, HubStateThreeEndsTheProcess) {
    ASSERT_EQ(s.controlCommand("hub-state 3"), "ok");
    EXPECT_EQ(s.server.wait(5000), 0);
    EXPECT_NE(s.server.log().find("exitApplication"), std::string::npos);
}

TEST_F(Protocol, VersionsWithAndWithoutAnArmband) {
    EXPECT_EQ(s.request({0x30, 0x01, 0x02}, 0x30), withCode(0x30, "000.005.012//"));
    ASSERT_TRUE(s.connectArmband());
    EXPECT_EQ(s.request({0x30}, 0x30), withCode(0x30, "000.005.012/1.0.0/rev-A"));
    EXPECT_TRUE(s.server.waitForLog("get hw success", 1000));
    EXPECT_TRUE(s.server.waitForLog("get fw success", 1000));

    ASSERT_EQ(s.controlCommand("fail hw"), "ok");
    EXPECT_EQ(s.request({0x30}, 0x30), withCode(0x30, "000.005.012/1.0.0/"));
    EXPECT_TRUE(s.server.waitForLog("get hw revision failure", 1000));
}

TEST_F(Protocol, AnArmbandThatNeverAnswersDoesNotHangTheServer) {
    ASSERT_TRUE(s.connectArmband());
    ASSERT_EQ(s.controlCommand("mute fw"), "ok");
    const int64_t asked = nowMs();
    EXPECT_EQ(s.request({0x30}, 0x30, 10000), withCode(0x30, "000.005.012//rev-A"));
    EXPECT_GE(nowMs() - asked, 2500) << "the firmware answer was waited for";
    EXPECT_TRUE(s.server.waitForLog("no firmware version answer within 3000 ms", 1000));

    ASSERT_EQ(s.controlCommand("mute notify"), "ok");
    ASSERT_TRUE(s.client.send({0x10}));
    EXPECT_TRUE(s.pingAnswered(10000));
    EXPECT_EQ(s.server.countInLog("KinvoHandle::setDataNotifySwitch, no answer within 3000 ms"), 1);
    EXPECT_EQ(s.server.countInLog("KinvoHandle::setDataNotifySwitch, flag=0x00000040"), 2);
    EXPECT_EQ(s.server.stop(), 0);
}
