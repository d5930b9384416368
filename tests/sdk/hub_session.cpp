#include "hub_session.h"

#include <bitset>
#include <chrono>
#include <future>

void RecordingListener::record(const std::string& name, int value, Packet data,
                               std::shared_ptr<kv::Armband> armband) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back({name, value, std::this_thread::get_id()});
        if (data) packets_.push_back(std::move(data));
        if (armband) armband_ = std::move(armband);
    }
    changed_.notify_all();
}

std::vector<HubEvent> RecordingListener::events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::vector<std::string> RecordingListener::namesBesidesData() {
    std::vector<std::string> names;
    for (const HubEvent& event : events()) {
        if (event.name != "data") names.push_back(event.name);
    }
    return names;
}

int RecordingListener::count(const std::string& name) {
    int n = 0;
    for (const HubEvent& event : events()) n += event.name == name;
    return n;
}

bool RecordingListener::waitFor(const std::string& name, int times) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] {
        int n = 0;
        for (const HubEvent& event : events_) n += event.name == name;
        return n >= times;
    });
}

std::vector<Packet> RecordingListener::packets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_;
}

std::shared_ptr<kv::Armband> RecordingListener::armband() {
    std::lock_guard<std::mutex> lock(mutex_);
    return armband_;
}

PollThread::PollThread(std::shared_ptr<kv::Hub> hub)
    : thread_([this, hub] {
          while (!stop_) {
              const int result = hub->run(10);
              if (result != 0 && result != kv::RUN_TIMEOUT) ++unexpected_;
          }
      }) {}

PollThread::~PollThread() {
    stop_ = true;
    thread_.join();
}

void HubSession::SetUp() {
    hub = kv::HubManager::getHubInstance(L"sdk tests");
    ASSERT_TRUE(hub);
    listener = std::make_shared<RecordingListener>();
    ASSERT_EQ(hub->registerListener(listener), 0);
    ASSERT_EQ(hub->init(0), 0) << "is 127.0.0.1:8889 taken?";
    poll = std::make_unique<PollThread>(hub);
    ASSERT_TRUE(control.connect());
}

void HubSession::TearDown() {
    control.close();
    if (!poll) return;
    EXPECT_EQ(poll->unexpectedResults(), 0) << "run returned neither 0 nor 7";
    for (const HubEvent& event : listener->events()) {
        EXPECT_EQ(event.thread, poll->id()) << event.name << " came off the poll thread";
    }
    EXPECT_EQ(completionsOffThePollThread, 0);
    poll.reset();
    hub->shutdown();
}

void HubSession::noteCompletionThread() {
    if (std::this_thread::get_id() != poll->id()) ++completionsOffThePollThread;
}

std::shared_ptr<kv::Armband> HubSession::findArmband() {
    EXPECT_EQ(hub->startScan(192), 0);
    EXPECT_TRUE(listener->waitFor("found"));
    return listener->armband();
}

std::shared_ptr<kv::Armband> HubSession::connectArmband() {
    auto armband = findArmband();
    if (!armband) return nullptr;
    EXPECT_EQ(armband->connect(1), 0);
    EXPECT_TRUE(listener->waitFor("connected"));
    return armband;
}

std::shared_ptr<kv::ArmbandConfig> HubSession::config() {
    auto armband = listener->armband();
    return armband ? armband->getConfig() : nullptr;
}

std::optional<int> HubSession::resultOf(const std::function<void(kv::ResultCallback)>& call) {
    auto promise = std::make_shared<std::promise<int>>();
    auto future = promise->get_future();
    call([this, promise](kv::ResponseResult result) {
        noteCompletionThread();
        promise->set_value(result);
    });
    if (future.wait_for(std::chrono::seconds(5)) != std::future_status::ready) return std::nullopt;
    return future.get();
}

std::optional<int> HubSession::notify(uint32_t flags) {
    auto settings = config();
    if (!settings) return std::nullopt;
    return resultOf([&](kv::ResultCallback cb) { settings->setDataNotifySwitch(flags, cb); });
}

std::optional<int> HubSession::configureStream(uint8_t mask) {
    auto settings = config();
    if (!settings) return std::nullopt;
    const auto length = static_cast<uint16_t>(16 * std::bitset<8>(mask).count());
    return resultOf([&](kv::ResultCallback cb) { settings->setEmgRawDataConfig(650, mask, length, 8, cb); });
}

void HubSession::startStream(uint8_t mask) {
    ASSERT_TRUE(connectArmband());
    ASSERT_EQ(configureStream(mask), 0);
    ASSERT_EQ(notify(0x80), 0);
}

std::string HubSession::statusField(const std::string& field) {
    const std::string answer = control.command("status");
    const std::string key = "\"" + field + "\":";
    const size_t at = answer.find(key);
    if (answer.rfind("ok {", 0) != 0 || at == std::string::npos) return "<missing>";
    const size_t start = at + key.size();
    return answer.substr(start, answer.find_first_of(",}", start) - start);
}
