// The real binary: start-up, the ways it ends, and its exit codes.
#include <gtest/gtest.h>

#include "platform/sockets.h"
#include "tools/client_kit/server_process.h"
#include "tools/client_kit/ws_client.h"

namespace {

// Holds a loopback port so that the server cannot have it.
class PortBlocker {
public:
    explicit PortBlocker(int port, bool anyAddress = false)
        : fd_(anyAddress ? platform::listenOnAllAddresses(port, 4) : platform::listenOnLoopback(port, 4)) {}
    ~PortBlocker() {
        if (fd_ != platform::NO_SOCKET) platform::closeSocket(fd_);
    }
    bool bound() const { return fd_ != platform::NO_SOCKET; }

private:
    int fd_;
};

// The log lines of an orderly end, in order.
void expectOrderlyEnd(const ServerProcess& server) {
    const std::string log = server.log();
    const size_t exitCall = log.find("exitApplication");
    size_t exitEvent = log.find("[D/RudovUrev]: EXIT_EVT: \n");
    if (exitEvent == std::string::npos) exitEvent = log.find("[D/RudovUrev]: EXIT_EVT: \r\n");  // Windows' text mode
    ASSERT_NE(exitCall, std::string::npos) << log;
    ASSERT_NE(exitEvent, std::string::npos) << log;
    EXPECT_LT(exitCall, exitEvent);
}

}  // namespace

TEST(Lifecycle, StartsInOrderAndAnInterruptTerminationOrExitCommandEndsCleanlyWithCodeZero) {
    for (int round = 0; round < 5; ++round) {
        ServerProcess server;
        ASSERT_TRUE(server.start());
        const std::string log = server.log();
        ASSERT_NE(log.find("registerListener SUCCESS"), std::string::npos);
        EXPECT_LT(log.find("registerListener SUCCESS"), log.find("uWS server started"));
        WsClient client;
        ASSERT_TRUE(client.connect(server.port()));
        ASSERT_TRUE(client.send({0x01}));
        ASSERT_TRUE(client.waitForCode(0x01, 3000));
        if (round == 4) {
            ASSERT_TRUE(client.send({0xFF}));  // EXIT from a client
        } else {
            server.signal(round % 2 ? platform::ChildStop::TERMINATE : platform::ChildStop::INTERRUPT);
        }
        ASSERT_EQ(server.wait(5000), 0) << "round " << round << "\n" << server.log();
        expectOrderlyEnd(server);
        EXPECT_EQ(server.countInLog("EXIT_EVT: "), 1);
    }
}

TEST(Lifecycle, ClosedConsoleTakesTheDefaultAction) {
    ServerProcess server;
    ASSERT_TRUE(server.start());
    server.signal(platform::ChildStop::HANG_UP);
    EXPECT_EQ(server.wait(5000), 129);  // 128 + SIGHUP (1)
    EXPECT_EQ(server.log().find("exitApplication"), std::string::npos);
}

TEST(Lifecycle, ControlPortTakenEndsWithCodeOne) {
    ServerProcess server;
    PortBlocker blocker(server.controlPort());
    ASSERT_TRUE(blocker.bound());
    ASSERT_TRUE(server.start(false));
    EXPECT_EQ(server.wait(5000), 1);
    EXPECT_TRUE(server.waitForLog("hub init failed: ", 1000));
    EXPECT_EQ(server.log().find("uWS server started"), std::string::npos);
}

TEST(Lifecycle, WebSocketPortTakenLeavesTheRestRunning) {
    ServerProcess server;
    PortBlocker blocker(server.port(), true);
    ASSERT_TRUE(blocker.bound());
    ASSERT_TRUE(server.start(false));
    ASSERT_TRUE(server.waitForLog("uWS server started", 5000));
    EXPECT_TRUE(server.waitForLog("uWS failed to listen", 5000));
    ControlClient control;
    ASSERT_TRUE(control.connect(server.controlPort()));
    EXPECT_EQ(control.command("ping"), "ok");
    EXPECT_TRUE(server.running());
    EXPECT_EQ(server.stop(), 0);
}
