// The WebSocket server in this process, with real clients over loopback.
#include "client/ws_server.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "core/event_queue.h"
#include "tests/client/in_process_server.h"

namespace {

class WsServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureServer();
        ASSERT_TRUE(waitForClients(0));
    }
};

}  // namespace

TEST_F(WsServerTest, TextBinaryEmptyAndLongMessagesArriveAsWholeRecords) {
    WsClient client;
    ASSERT_TRUE(client.connect(serverOptions.port));
    ASSERT_TRUE(client.sendText("abc"));
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{APP_CLIENT_EVT, 'a', 'b', 'c'}));
    ASSERT_TRUE(client.send({'a', 'b', 'c'}));
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{APP_CLIENT_EVT, 'a', 'b', 'c'}));
    ASSERT_TRUE(client.send({}));
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{APP_CLIENT_EVT}));
    Bytes large(70000);
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(client.send(large));
    EventRecord record = eventQueue.pop();
    ASSERT_EQ(record->size(), large.size() + 1);
    EXPECT_TRUE(std::equal(large.begin(), large.end(), record->begin() + 1));
}

TEST_F(WsServerTest, EveryClientReceivesEachBroadcastInOrderAsBinary) {
    WsClient first;
    WsClient second;
    ASSERT_TRUE(first.connect(serverOptions.port));
    ASSERT_TRUE(second.connect(serverOptions.port));
    ASSERT_TRUE(waitForClients(2));
    for (uint8_t i = 0; i < 50; ++i) {
        const uint8_t message[2] = {0x01, i};
        sendToClients(message, 2);
    }
    sendToClients(nullptr, 0);
    for (WsClient* client : {&first, &second}) {
        for (uint8_t i = 0; i <= 50; ++i) {
            std::optional<WsMessage> message = client->receive(3000);
            ASSERT_TRUE(message);
            EXPECT_EQ(message->opcode, 2);
            EXPECT_EQ(message->payload, (i < 50 ? Bytes{0x01, i} : Bytes{})) << "the last one is empty";
        }
    }
}

TEST_F(WsServerTest, SendsFromManyThreadsKeepEachThreadsOrder) {
    WsClient client;
    ASSERT_TRUE(client.connect(serverOptions.port));
    ASSERT_TRUE(waitForClients(1));
    std::vector<std::thread> senders;
    for (uint8_t t = 0; t < 4; ++t) {
        senders.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                const uint8_t message[3] = {0x07, t, static_cast<uint8_t>(i)};
                sendToClients(message, 3);
            }
        });
    }
    for (auto& sender : senders) sender.join();
    int next[4] = {0, 0, 0, 0};
    for (int n = 0; n < 800; ++n) {
        std::optional<WsMessage> message = client.receive(3000);
        ASSERT_TRUE(message);
        ASSERT_EQ(message->payload.size(), 3u);
        const int thread = message->payload[1];
        EXPECT_EQ(message->payload[2], next[thread]++);
    }
}

TEST_F(WsServerTest, ConnectionsAndDisconnectionsAreCountedAndLogged) {
    testing::internal::CaptureStdout();
    {
        WsClient client;
        ASSERT_TRUE(client.connect(serverOptions.port, 3000, "/any/path?x=1"));
        ASSERT_TRUE(waitForClients(1));
    }
    ASSERT_TRUE(waitForClients(0));
    const std::string log = testing::internal::GetCapturedStdout();
    const size_t connect = log.find("uWS connect, clients(1)");
    const size_t disconnect = log.find("uWS disconnect, clients(0)");
    EXPECT_NE(connect, std::string::npos);
    EXPECT_NE(disconnect, std::string::npos);
    EXPECT_LT(connect, disconnect);
}

// The server thread never ends; leave without static destruction under it.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::_Exit(result);
}
