#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "hub_session.h"

TEST(HubLifecycle, InitFailsWhileThePortIsTakenAndLeavesNothingRunning) {
    auto hub = kv::HubManager::getHubInstance(L"sdk tests");
    const int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;  // earlier tests may leave connections of 8889 in TIME_WAIT
    ::setsockopt(blocker, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(8889);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(blocker, 1), 0);
    EXPECT_NE(hub->init(0), 0);
    EXPECT_NE(hub->startScan(192), 0);
    ::close(blocker);

    ControlClient client;
    EXPECT_FALSE(client.connect()) << "something still listens on 8889";
    EXPECT_EQ(hub->init(0), 0);
}

TEST(HubLifecycle, ShutdownAndDestructionCloseTheEndpoint) {
    auto hub = kv::HubManager::getHubInstance(L"sdk tests");
    ASSERT_EQ(hub->init(0), 0);
    ControlClient client;
    ASSERT_TRUE(client.connect());
    EXPECT_EQ(client.command("ping"), "ok");
    hub->shutdown();
    EXPECT_TRUE(client.closedByPeer());
    EXPECT_FALSE(client.connect());

    ASSERT_EQ(hub->init(0), 0);
    ASSERT_TRUE(client.connect());
    hub.reset();
    EXPECT_TRUE(client.closedByPeer());
    EXPECT_FALSE(client.connect());
}

TEST(HubLifecycle, RunWaitsThenTimesOutWithSevenOrDeliversWithZeroToLiveRegisteredListeners) {
    auto hub = kv::HubManager::getHubInstance(L"sdk tests");
    auto kept = std::make_shared<RecordingListener>();
    auto removed = std::make_shared<RecordingListener>();
    auto gone = std::make_shared<RecordingListener>();
    for (const auto& listener : {kept, removed, gone}) ASSERT_EQ(hub->registerListener(listener), 0);
    EXPECT_EQ(hub->unregisterListener(removed), 0);
    gone.reset();
    ASSERT_EQ(hub->init(0), 0);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hub->run(30), kv::RUN_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30))
        << "run must wait for work, not return at once";

    ControlClient client;
    ASSERT_TRUE(client.connect());
    ASSERT_EQ(client.command("hub-state 5"), "ok");
    EXPECT_EQ(hub->run(5000), 0);
    ASSERT_EQ(kept->events().size(), 1u);
    EXPECT_EQ(kept->events()[0].value, 5);
    EXPECT_EQ(kept->events()[0].thread, std::this_thread::get_id());
    EXPECT_TRUE(removed->events().empty());
    EXPECT_EQ(hub->run(10), kv::RUN_TIMEOUT);
}
