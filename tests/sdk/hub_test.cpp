// The simulated hub driven directly, as the server drives it, with the control
// endpoint on 127.0.0.1 steering the virtual armband. What the server
// makes of it is covered end to end in tests/e2e.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bitset>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

#include "kv/kinvo.h"
#include "platform/sockets.h"
#include "sim/control_server.h"
#include "sim/test_hooks.h"
#include "sim/virtual_subject.h"
#include "tools/client_kit/server_process.h"
#include "tools/client_kit/ws_client.h"

namespace {

using namespace std::chrono_literals;

// Every hub of this test program opens its control endpoint on a port of its own.
const int controlPort = [] {
    const int port = pickFreePort();
    kv::sim::setControlPort(static_cast<uint16_t>(port));
    return port;
}();

using Packet = std::shared_ptr<std::vector<uint8_t>>;

struct Event {
    std::string name;
    int value;
    std::thread::id thread;
    Packet data;
};

int countIn(const std::vector<Event>& events, const std::string& name) {
    return static_cast<int>(std::count_if(events.begin(), events.end(), [&](auto& e) { return e.name == name; }));
}

class Recorder : public kv::HubListener {
public:
    void onStateChanged(int state) override { add("hubState", state); }
    void onDeviceFound(std::shared_ptr<kv::Armband> armband) override { add("found", 0, {}, armband); }
    void onDeviceConnected(std::shared_ptr<kv::Armband>) override { add("connected", 0); }
    void onDeviceDisconnected(std::shared_ptr<kv::Armband>, uint8_t reason) override { add("disconnected", reason); }
    void onDeviceData(std::shared_ptr<kv::Armband>, uint32_t type, Packet data) override {
        add("data", static_cast<int>(type), data);
    }

    std::vector<Event> events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    std::shared_ptr<kv::Armband> armband() {
        std::lock_guard<std::mutex> lock(mutex_);
        return armband_;
    }
    std::vector<Packet> packets() {
        std::vector<Packet> packets;
        for (const Event& event : events())
            if (event.data) packets.push_back(event.data);
        return packets;
    }
    int count(const std::string& name) { return countIn(events(), name); }
    // Waits (up to 5 s) until `name` has come `times` times in all.
    bool waitFor(const std::string& name, int times = 1) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return countIn(events_, name) >= times; });
    }

private:
    void add(const std::string& name, int value, Packet data = {}, std::shared_ptr<kv::Armband> armband = {}) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back({name, value, std::this_thread::get_id(), data});
        if (armband) armband_ = armband;
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
    std::shared_ptr<kv::Armband> armband_;
};

// An initialised hub with a poll thread and a control connection. On teardown
// it checks that run only ever gave 0 or 7 and that every callback and
// completion came on the poll thread.
class HubSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(hub->registerListener(listener), 0);
        ASSERT_EQ(hub->init(0), 0);
        poller = std::thread([this] {
            while (!stop) {
                const int result = hub->run(10);
                if (result != 0 && result != kv::RUN_TIMEOUT) ++badRunResults;
            }
        });
        ASSERT_TRUE(control.connect(controlPort));
    }

    void TearDown() override {
        if (!poller.joinable()) return;
        const std::thread::id pollId = poller.get_id();
        stop = true;
        poller.join();
        hub->shutdown();
        EXPECT_EQ(badRunResults, 0) << "run gave neither 0 nor 7";
        EXPECT_EQ(completionsOffThePollThread, 0);
        for (const Event& event : listener->events()) EXPECT_EQ(event.thread, pollId) << event.name;
    }

    std::shared_ptr<kv::Armband> findArmband() {
        EXPECT_EQ(hub->startScan(192), 0);
        return listener->waitFor("found") ? listener->armband() : nullptr;
    }

    std::shared_ptr<kv::Armband> connectArmband() {
        auto armband = findArmband();
        if (!armband || armband->connect(1) != 0 || !listener->waitFor("connected")) return nullptr;
        return armband;
    }

    // The result a configuration call completes with; empty if none came in time.
    template <typename Call>
    std::optional<int> resultOf(Call call, std::chrono::milliseconds wait = 5s) {
        auto settings = listener->armband() ? listener->armband()->getConfig() : nullptr;
        if (!settings) return std::nullopt;
        auto promise = std::make_shared<std::promise<int>>();
        auto future = promise->get_future();
        call(*settings, [this, promise](kv::ResponseResult result) {
            if (std::this_thread::get_id() != poller.get_id()) ++completionsOffThePollThread;
            promise->set_value(result);
        });
        if (future.wait_for(wait) != std::future_status::ready) return std::nullopt;
        return future.get();
    }

    std::optional<int> notify(uint32_t flags, std::chrono::milliseconds wait = 5s) {
        return resultOf([&](kv::ArmbandConfig& c, kv::ResultCallback cb) { c.setDataNotifySwitch(flags, cb); }, wait);
    }

    std::optional<int> configureStream(uint8_t mask) {
        const auto length = static_cast<uint16_t>(16 * std::bitset<8>(mask).count());
        return resultOf(
            [&](kv::ArmbandConfig& c, kv::ResultCallback cb) { c.setEmgRawDataConfig(650, mask, length, 8, cb); });
    }

    void startStream(uint8_t mask) {
        ASSERT_TRUE(connectArmband());
        ASSERT_EQ(configureStream(mask), 0);
        ASSERT_EQ(notify(0x80), 0);
    }

    bool statusHas(const std::string& text) { return control.command("status").find(text) != std::string::npos; }

    std::shared_ptr<kv::Hub> hub = kv::HubManager::getHubInstance(L"sdk tests");
    std::shared_ptr<Recorder> listener = std::make_shared<Recorder>();
    std::thread poller;
    std::atomic<bool> stop{false};
    std::atomic<int> badRunResults{0};
    std::atomic<int> completionsOffThePollThread{0};
    ControlClient control;
};

bool nearBaseline(const Bytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b >= 100 && b <= 150; });
}

Bytes joined(const std::vector<Packet>& packets, size_t from, size_t to) {
    Bytes bytes;
    for (size_t i = from; i < to; ++i) bytes.insert(bytes.end(), packets[i]->begin(), packets[i]->end());
    return bytes;
}

// Everything the endpoint sends on fd until it closes the connection.
std::string readToEnd(int fd) {
    std::string received;
    char buffer[65536];
    for (long got; waitReadable(fd, 10000) && (got = platform::receiveBytes(fd, buffer, sizeof buffer)) > 0;)
        received.append(buffer, static_cast<size_t>(got));
    return received;
}

}  // namespace

TEST(HubLifecycle, InitFailsWhileThePortIsTakenAndShutdownFreesIt) {
    auto first = kv::HubManager::getHubInstance(L"sdk tests");
    auto hub = kv::HubManager::getHubInstance(L"sdk tests");
    ASSERT_EQ(first->init(0), 0);
    EXPECT_NE(hub->init(0), 0);
    EXPECT_NE(hub->startScan(192), 0) << "a hub that failed to start must not scan";
    first->shutdown();
    ControlClient client;
    EXPECT_FALSE(client.connect(controlPort, 200)) << "an endpoint is still open";
    ASSERT_EQ(hub->init(0), 0);
    EXPECT_TRUE(client.connect(controlPort));
}

TEST(HubLifecycle, RunTimesOutWithSevenOrDeliversWithZeroOnItsOwnThreadToLiveListeners) {
    auto hub = kv::HubManager::getHubInstance(L"sdk tests");
    auto kept = std::make_shared<Recorder>();
    auto removed = std::make_shared<Recorder>();
    auto gone = std::make_shared<Recorder>();
    for (const auto& listener : {kept, removed, gone}) ASSERT_EQ(hub->registerListener(listener), 0);
    EXPECT_EQ(hub->unregisterListener(removed), 0);
    gone.reset();
    ASSERT_EQ(hub->init(0), 0);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hub->run(30), kv::RUN_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms) << "run must wait for work";

    ControlClient client;
    ASSERT_TRUE(client.connect(controlPort));
    ASSERT_EQ(client.command("hub-state 5"), "ok");
    EXPECT_EQ(hub->run(5000), 0);
    ASSERT_EQ(kept->events().size(), 1u);
    EXPECT_EQ(kept->events()[0].value, 5);
    EXPECT_EQ(kept->events()[0].thread, std::this_thread::get_id());
    EXPECT_TRUE(removed->events().empty());
    EXPECT_EQ(hub->run(10), kv::RUN_TIMEOUT);
}

TEST_F(HubSession, PacketsHoldSixteenFramesOfTheEnabledChannelsAt650FramesPerSecond) {
    ASSERT_EQ(control.command("seed 7"), "ok");
    startStream(0x05);
    ASSERT_TRUE(listener->waitFor("data", 4));
    const auto packets = listener->packets();
    kv::sim::VirtualSubject reference(7);
    for (size_t p = 0; p < 4; ++p) {
        Bytes expected;
        for (size_t f = 0; f < 16; ++f) {
            uint8_t frame[8];
            reference.nextFrame(0xFF, frame);
            expected.insert(expected.end(), {frame[0], frame[2]});
        }
        EXPECT_EQ(*packets[p], expected) << "packet " << p << ": channels 0 and 2 of each frame in turn";
    }
    EXPECT_EQ(listener->events().back().value, 0x80) << "data type";

    const int before = listener->count("data");
    std::this_thread::sleep_for(1500ms);
    EXPECT_NEAR(listener->count("data") - before, 61, 15) << "1.5 s of 650 frames per second, 16 per packet";

    ASSERT_EQ(notify(0x40), 0);
    const int stopped = listener->count("data");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(listener->count("data"), stopped) << "raw EMG switched off";
}

TEST_F(HubSession, ReplayYieldsTheFileFromTheNextPacketThenTheSubjectGoesOn) {
    Bytes file(100);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i);
    // Inside the data folder (the working directory), named through a folder and back.
    const std::string path = "kv-replay.bin";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), 100);
    ASSERT_TRUE(std::filesystem::create_directory("kv-replay-folder"));
    startStream(0x03);
    ASSERT_TRUE(listener->waitFor("data", 3));
    ASSERT_EQ(control.command("replay kv-replay-folder/../" + path), "ok");
    std::filesystem::remove(path);
    std::filesystem::remove("kv-replay-folder");
    ASSERT_TRUE(listener->waitFor("data", listener->count("data") + 8));

    const auto packets = listener->packets();
    size_t first = 0;
    while (first < packets.size() && (*packets[first])[0] != 0) ++first;
    ASSERT_LT(first, packets.size()) << "the replayed bytes never came";
    EXPECT_TRUE(nearBaseline(joined(packets, 0, first)));
    const Bytes bytes = joined(packets, first, packets.size());
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 100), file);
    EXPECT_TRUE(nearBaseline({bytes.begin() + 100, bytes.end()}));
}

TEST_F(HubSession, OrderedFailuresAndSilencesHitExactlyTheNextCalls) {
    ASSERT_EQ(control.command("fail scan 1 4"), "ok");
    EXPECT_EQ(hub->startScan(192), 4);
    auto armband = findArmband();
    ASSERT_TRUE(armband);
    ASSERT_EQ(control.command("fail connect"), "ok");
    EXPECT_EQ(armband->connect(1), 1);
    EXPECT_EQ(armband->getConnectionState(), kv::STATE_DISCONNECTED);
    ASSERT_EQ(armband->connect(1), 0);
    ASSERT_TRUE(listener->waitFor("connected"));

    ASSERT_EQ(control.command("fail notify 2 9"), "ok");
    ASSERT_EQ(control.command("mute notify 1"), "ok");
    EXPECT_EQ(notify(0x80, 300ms), std::nullopt) << "a silence comes before a failure";
    EXPECT_EQ(notify(0x80), 9);
    EXPECT_EQ(notify(0x80), 9);
    EXPECT_TRUE(statusHas("\"notify\":0,")) << "silenced and failed switches change nothing";
    EXPECT_EQ(notify(0x80), 0);
    EXPECT_TRUE(statusHas("\"notify\":128,"));
    ASSERT_EQ(control.command("fail emg-config"), "ok");
    EXPECT_EQ(configureStream(0xFF), 1);
    EXPECT_TRUE(statusHas("\"channelMask\":0,"));
    EXPECT_EQ(configureStream(0xFF), 0);
}

TEST_F(HubSession, BadControlCommandsAreRefusedAndChangeNothing) {
    ASSERT_TRUE(connectArmband());
    // A file just outside the data folder (the working directory) is refused with
    // the answer a missing file gets, whether named through `..`, an absolute path or a link.
    const std::string parent = std::filesystem::current_path().string();
    std::ofstream("kv-secret.bin") << "abc";
    std::filesystem::create_directory("kv-data");
    std::filesystem::current_path("kv-data");
    std::error_code noLinks;  // without links (libstdc++ on Windows) the name is simply missing
    std::filesystem::create_symlink("../kv-secret.bin", "kv-link-out", noLinks);
    const std::string missing = control.command("replay kv-missing.bin");
    EXPECT_EQ(missing.rfind("error ", 0), 0u);
    for (const std::string& path :
         {std::string("../kv-secret.bin"), parent + "/kv-secret.bin", std::string("kv-link-out")}) {
        EXPECT_EQ(control.command("replay " + path), missing) << path;
    }
    std::filesystem::current_path(parent);
    std::filesystem::remove_all("kv-data");
    std::filesystem::remove("kv-secret.bin");

    const std::string before = control.command("status");
    for (const char* bad : {"",
                            "pong",
                            "ping 1",
                            "present",
                            "present 2",
                            "present 1 1",
                            "gesture 9",
                            "gesture -1",
                            "gesture x",
                            "armband-gesture 256",
                            "device-status",
                            "hub-state 1.5",
                            "drop 256",
                            "drop 1 2",
                            "fail",
                            "fail teleport",
                            "fail notify 1 0",
                            "fail hw 1 2 3",
                            "mute connect",
                            "mute hw 1 2",
                            "no-config yes",
                            "versions 1.0",
                            "versions a b c",
                            "replay",
                            "replay /nonexistent/file",
                            "replay /tmp",
                            "seed 4294967296",
                            "status now"}) {
        EXPECT_EQ(control.command(bad).rfind("error ", 0), 0u) << "'" << bad << "'";
    }
    EXPECT_EQ(control.command("status"), before);
    EXPECT_EQ(notify(0x80), 0) << "no failure or silence was ordered";
    EXPECT_EQ(configureStream(0x01), 0);
}

TEST_F(HubSession, AnHttpRequestClosesTheConnectionBeforeAnyOfItsLinesRuns) {
    // What a web page's fetch('http://127.0.0.1:8889/', {method: 'POST', body}) sends,
    // and a header line alone: the lines after it must never run.
    const std::string request =
        "POST / HTTP/1.1\r\nHost: 127.0.0.1:8889\r\nContent-Length: 31\r\n\r\npresent 0\nfail connect 1000000\n";
    for (const std::string& text : {request, std::string("Origin: http://example.org\npresent 0\n")}) {
        const int fd = connectLoopback(controlPort, 3000);
        ASSERT_GE(fd, 0);
        testing::internal::CaptureStderr();
        ASSERT_EQ(platform::sendBytes(fd, text.data(), text.size()), static_cast<long>(text.size()));
        EXPECT_EQ(readToEnd(fd), "") << "closed without an answer";
        const std::string log = testing::internal::GetCapturedStderr();
        platform::closeSocket(fd);
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
        EXPECT_NE(log.find("HTTP"), std::string::npos) << log;
    }
    EXPECT_TRUE(statusHas("\"present\":true,"));
    auto armband = findArmband();
    ASSERT_TRUE(armband);
    EXPECT_EQ(armband->connect(1), 0) << "no connect failure was ordered";
}

TEST(ControlServer, AClientThatDoesNotReadIsDroppedOnceItsAnswersPassTheBound) {
    // 2000 lines answered with 10 000 bytes each: 20 MB, far beyond what the
    // sockets' buffers hold while the client reads nothing.
    kv::sim::ControlServer server([](const std::string&) { return std::string(10000, 'a'); });
    ASSERT_TRUE(server.start(static_cast<uint16_t>(controlPort)));
    const int fd = connectLoopback(controlPort, 3000);
    ASSERT_GE(fd, 0);
    platform::setReceiveBufferSize(fd, 4096);
    std::string lines;
    for (int i = 0; i < 2000; ++i) lines += "x\n";
    testing::internal::CaptureStderr();
    ASSERT_EQ(platform::sendBytes(fd, lines.data(), lines.size()), static_cast<long>(lines.size()));
    platform::endSending(fd);
    // Only once the server has given up on the client is anything read.
    EXPECT_TRUE(platform::waitForPeerEnd(fd, 10000)) << "the server still holds the connection";
    const size_t received = readToEnd(fd).size();
    platform::closeSocket(fd);
    server.stop();
    EXPECT_LT(received, 2000u * 10001u);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("does not read"), std::string::npos);
}

TEST_F(HubSession, AModelTransferCutOffByADisconnectionFailsOnceAndReportsNothingMore) {
    auto armband = connectArmband();
    ASSERT_TRUE(armband);
    for (const std::string& cut : {std::string("disconnect"), std::string("drop")}) {
        if (cut == "drop") {
            ASSERT_EQ(armband->connect(1), 0);
            ASSERT_TRUE(listener->waitFor("connected", 2));
        }
        std::mutex mutex;
        std::vector<std::pair<int, uint32_t>> reports;
        std::promise<void> failed;
        const uint8_t image[64] = {};
        armband->getConfig()->trainModelUpdate(sizeof image, image, [&](kv::ResponseResult result, uint32_t percent) {
            std::lock_guard<std::mutex> lock(mutex);
            reports.emplace_back(result, percent);
            if (reports.size() == 1 && result == 0) {
                // Cut the link once the transfer is under way.
                std::thread([&, cut, armband] {
                    if (cut == "disconnect") armband->disconnect();
                    else control.command("drop");
                }).detach();
            }
            if (result != 0 && std::count_if(reports.begin(), reports.end(), [](auto& r) { return r.first != 0; }) == 1)
                failed.set_value();
        });
        ASSERT_EQ(failed.get_future().wait_for(5s), std::future_status::ready) << cut;
        // Ten steps 50 ms apart would have ended by now without the cut.
        std::this_thread::sleep_for(700ms);
        std::lock_guard<std::mutex> lock(mutex);
        ASSERT_GE(reports.size(), 2u);
        EXPECT_NE(reports.back().first, 0) << cut << ": the failure comes last";
        for (size_t k = 0; k + 1 < reports.size(); ++k) {
            EXPECT_EQ(reports[k].first, 0);
            EXPECT_LT(reports[k].second, 100u) << cut << ": no success after the cut";
        }
        ASSERT_TRUE(listener->waitFor("disconnected", cut == "disconnect" ? 1 : 2)) << cut;
        EXPECT_EQ(std::count_if(reports.begin(), reports.end(), [](auto& r) { return r.first != 0; }), 1) << cut;
    }
}
