#include <chrono>
#include <future>

#include "hub_session.h"

namespace {

bool isError(const std::string& answer) { return answer.rfind("error ", 0) == 0; }

}  // namespace

TEST_F(HubSession, StatusReportsTheStartingState) {
    const std::string status = control.command("status");
    ASSERT_EQ(status.rfind("ok {", 0), 0u) << status;
    EXPECT_EQ(status.back(), '}');
    for (const auto& [field, value] : {std::pair{"present", "true"}, {"state", "0"}, {"notify", "0"},
                                       {"channelMask", "0"}, {"dataLength", "0"}, {"packets", "0"},
                                       {"gesture", "0"}, {"modelImage", "\"\""}}) {
        EXPECT_EQ(statusField(field), value) << field;
    }
}

TEST_F(HubSession, EachLineGetsOneAnswerOnEveryConnection) {
    EXPECT_TRUE(control.sendRaw("ping\r\npresent 0\ngesture 8\r\n"));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(control.readLine(), "ok");
    EXPECT_EQ(statusField("present"), "false");
    EXPECT_EQ(statusField("gesture"), "8");
    ControlClient second;
    ASSERT_TRUE(second.connect());
    EXPECT_EQ(second.command("ping"), "ok");
    EXPECT_EQ(control.command("ping"), "ok");
}

TEST_F(HubSession, BadCommandsAreRefusedAndChangeNothing) {
    const std::string before = control.command("status");
    for (const char* bad : {"", "pong", "ping 1", "present", "present 2", "present 1 1", "gesture 9",
                            "gesture -1", "gesture x", "armband-gesture 256", "device-status",
                            "hub-state 1.5", "drop 256", "drop 1 2", "fail", "fail teleport",
                            "fail notify 1 0", "fail hw 1 2 3", "mute connect", "mute hw 1 2",
                            "no-config yes", "versions 1.0", "versions a b c", "replay",
                            "replay /nonexistent/file", "replay /tmp", "seed 4294967296", "status now"}) {
        EXPECT_TRUE(isError(control.command(bad))) << "'" << bad << "'";
    }
    EXPECT_EQ(control.command("status"), before);

    ASSERT_TRUE(control.sendRaw(std::string(5000, 'x')));
    EXPECT_TRUE(isError(control.readLine()));
    EXPECT_TRUE(control.closedByPeer());
    ControlClient other;
    ASSERT_TRUE(other.connect());
    EXPECT_EQ(other.command("ping"), "ok");
}

TEST_F(HubSession, OrderedFailuresHitTheNextCallsOnly) {
    ASSERT_EQ(control.command("fail scan 1 4"), "ok");
    EXPECT_EQ(hub->startScan(192), 4);
    auto armband = findArmband();
    ASSERT_EQ(control.command("fail connect"), "ok");
    EXPECT_EQ(armband->connect(1), 1);
    EXPECT_EQ(armband->getConnectionState(), kv::STATE_DISCONNECTED);
    ASSERT_EQ(armband->connect(1), 0);
    ASSERT_TRUE(listener->waitFor("connected"));

    ASSERT_EQ(control.command("fail notify 2 9"), "ok");
    EXPECT_EQ(notify(0x80), 9);
    EXPECT_EQ(notify(0x80), 9);
    EXPECT_EQ(statusField("notify"), "0") << "a failed switch changes nothing";
    EXPECT_EQ(notify(0x80), 0);
    EXPECT_EQ(statusField("notify"), "128");
    ASSERT_EQ(control.command("fail emg-config"), "ok");
    EXPECT_EQ(configureStream(0xFF), 1);
    EXPECT_EQ(configureStream(0xFF), 0);
}

TEST_F(HubSession, MutedCallsNeverCompleteAndVersionTextsFollowTheEndpoint) {
    ASSERT_TRUE(connectArmband());
    auto settings = config();
    auto query = [&](bool hardware) -> std::optional<std::wstring> {
        auto promise = std::make_shared<std::promise<std::wstring>>();
        auto answer = [this, promise](kv::ResponseResult result, std::wstring text) {
            noteCompletionThread();
            promise->set_value(result == 0 ? text : L"<failed>");
        };
        hardware ? settings->queryHardwareRevision(answer) : settings->queryFirmwareVersion(answer);
        auto future = promise->get_future();
        if (future.wait_for(std::chrono::seconds(1)) != std::future_status::ready) return std::nullopt;
        return future.get();
    };
    ASSERT_EQ(control.command("mute hw 2"), "ok");
    EXPECT_FALSE(query(true));
    EXPECT_FALSE(query(true));
    EXPECT_EQ(query(true), L"rev-A");
    EXPECT_EQ(query(false), L"1.0.0");
    ASSERT_EQ(control.command("versions 2.5.1 rev-Z"), "ok");
    EXPECT_EQ(query(true), L"rev-Z");
    EXPECT_EQ(query(false), L"2.5.1");
    ASSERT_EQ(control.command("fail fw"), "ok");
    EXPECT_EQ(query(false), L"<failed>");
}

TEST_F(HubSession, ModelUpdateReportsProgressAndKeepsACopyOfTheImage) {
    ASSERT_TRUE(connectArmband());
    auto settings = config();
    std::mutex mutex;
    std::condition_variable reported;
    std::vector<std::pair<int, uint32_t>> reports;
    auto update = [&] {
        auto image = std::make_unique<std::vector<uint8_t>>(std::vector<uint8_t>{0xDE, 0xAD, 0x0B, 0xEF});
        settings->trainModelUpdate(4, image->data(), [&](kv::ResponseResult result, uint32_t percent) {
            noteCompletionThread();
            std::lock_guard<std::mutex> lock(mutex);
            reports.emplace_back(result, percent);
            reported.notify_all();
        });
        image.reset();  // released as soon as the call returns, as the server does
    };

    update();
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(reported.wait_for(lock, std::chrono::seconds(5), [&] { return reports.size() >= 10; }));
        for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(reports[i], std::make_pair(0, 10 * (i + 1)));
        reports.clear();
    }
    EXPECT_EQ(statusField("modelImage"), "\"dead0bef\"");

    ASSERT_EQ(control.command("fail update 1 3"), "ok");
    update();
    std::this_thread::sleep_for(std::chrono::milliseconds(800));  // longer than a whole transfer
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].first, 3);
}
