#include <chrono>

#include "hub_session.h"

using Names = std::vector<std::string>;

TEST_F(HubSession, ScansFindTheArmbandOnlyWhileItIsPresent) {
    ASSERT_EQ(hub->startScan(192), 0);
    ASSERT_TRUE(listener->waitFor("scanFinished"));
    EXPECT_EQ(listener->namesBesidesData(), (Names{"found", "scanFinished"}));
    const auto armband = listener->armband();
    ASSERT_TRUE(armband);

    ASSERT_EQ(control.command("present 0"), "ok");
    ASSERT_EQ(hub->startScan(192), 0);
    ASSERT_TRUE(listener->waitFor("scanFinished", 2));
    EXPECT_EQ(listener->namesBesidesData(), (Names{"found", "scanFinished", "scanFinished"}));

    ASSERT_EQ(control.command("present 1"), "ok");
    EXPECT_EQ(findArmband(), armband) << "one armband object for the life of the hub";
}

TEST_F(HubSession, StopScanEndsTheScanWithASingleFinish) {
    EXPECT_NE(hub->stopScan(), 0) << "no scan to stop";
    ASSERT_TRUE(findArmband());
    EXPECT_EQ(hub->stopScan(), 0);
    ASSERT_TRUE(listener->waitFor("scanFinished"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // past the scan's own end
    EXPECT_EQ(listener->namesBesidesData(), (Names{"found", "scanFinished"}));
}

TEST_F(HubSession, ConnectionStatesAndWrongStateCalls) {
    auto armband = findArmband();
    ASSERT_TRUE(armband);
    EXPECT_NE(armband->disconnect(), 0);
    EXPECT_EQ(armband->connect(1), 0);
    EXPECT_EQ(armband->getConnectionState(), kv::STATE_CONNECTING);
    EXPECT_FALSE(armband->getConfig());
    EXPECT_NE(armband->connect(1), 0);
    ASSERT_TRUE(listener->waitFor("connected"));
    EXPECT_EQ(armband->getConnectionState(), kv::STATE_CONNECTED);
    EXPECT_TRUE(armband->getConfig());
    EXPECT_NE(armband->connect(1), 0);

    EXPECT_EQ(armband->disconnect(), 0);
    EXPECT_EQ(armband->getConnectionState(), kv::STATE_DISCONNECTING);
    EXPECT_NE(armband->disconnect(), 0);
    EXPECT_NE(armband->connect(1), 0);
    ASSERT_TRUE(listener->waitFor("disconnected"));
    EXPECT_EQ(listener->events().back().value, 0);
    EXPECT_EQ(armband->getConnectionState(), kv::STATE_DISCONNECTED);
    EXPECT_FALSE(armband->getConfig());
}

TEST_F(HubSession, DisconnectingWhileConnectingAbandonsTheConnection) {
    auto armband = findArmband();
    ASSERT_EQ(armband->connect(1), 0);
    ASSERT_EQ(armband->disconnect(), 0);
    ASSERT_TRUE(listener->waitFor("disconnected"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // past the connect delay
    EXPECT_EQ(listener->count("connected"), 0);
    EXPECT_EQ(armband->getConnectionState(), kv::STATE_DISCONNECTED);
}

TEST_F(HubSession, DropLosesTheArmbandWithItsReasonAndItsNotificationFlags) {
    EXPECT_EQ(control.command("drop").rfind("error ", 0), 0u) << "nothing to drop yet";
    auto armband = connectArmband();
    ASSERT_EQ(notify(0x40), 0);
    ASSERT_EQ(control.command("drop 19"), "ok");
    EXPECT_EQ(armband->getConnectionState(), kv::STATE_DISCONNECTED);
    EXPECT_EQ(statusField("notify"), "0");
    ASSERT_TRUE(listener->waitFor("disconnected"));
    EXPECT_EQ(listener->events().back().value, 19);
}
