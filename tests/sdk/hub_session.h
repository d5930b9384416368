// Test scaffolding for the simulated hub: a listener that records every
// callback with its thread, a poll thread that calls Hub::run(10) as the
// server does, and a fixture owning an initialised hub with both and a control
// connection. On teardown the fixture checks that every callback and
// completion came on the poll thread.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "control_client.h"
#include "kv/kinvo.h"

using Packet = std::shared_ptr<std::vector<uint8_t>>;

struct HubEvent {
    std::string name;  // found, scanFinished, connected, disconnected, gesture, deviceStatus, hubState, data
    int value = 0;     // the reason, gesture, status or state; the data type for data
    std::thread::id thread;
};

class RecordingListener : public kv::HubListener {
public:
    void onScanFinished() override { record("scanFinished", 0); }
    void onStateChanged(int state) override { record("hubState", state); }
    void onDeviceFound(std::shared_ptr<kv::Armband> armband) override { record("found", 0, {}, armband); }
    void onDeviceConnected(std::shared_ptr<kv::Armband>) override { record("connected", 0); }
    void onDeviceDisconnected(std::shared_ptr<kv::Armband>, uint8_t reason) override {
        record("disconnected", reason);
    }
    void onGestureData(std::shared_ptr<kv::Armband>, uint8_t gesture) override { record("gesture", gesture); }
    void onDeviceStatusChanged(std::shared_ptr<kv::Armband>, uint8_t status) override {
        record("deviceStatus", status);
    }
    void onDeviceData(std::shared_ptr<kv::Armband>, uint32_t type, Packet data) override {
        record("data", static_cast<int>(type), data);
    }

    std::vector<HubEvent> events();
    std::vector<std::string> namesBesidesData();
    int count(const std::string& name);
    // Waits (generously) until `name` has been seen `times` times in all.
    bool waitFor(const std::string& name, int times = 1);
    std::vector<Packet> packets();
    std::shared_ptr<kv::Armband> armband();

private:
    void record(const std::string& name, int value, Packet data = {},
                std::shared_ptr<kv::Armband> armband = {});

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<HubEvent> events_;
    std::vector<Packet> packets_;
    std::shared_ptr<kv::Armband> armband_;
};

class PollThread {
public:
    explicit PollThread(std::shared_ptr<kv::Hub> hub);
    ~PollThread();
    std::thread::id id() const { return thread_.get_id(); }
    int unexpectedResults() const { return unexpected_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<int> unexpected_{0};
    std::thread thread_;
};

class HubSession : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::shared_ptr<kv::Armband> findArmband();
    std::shared_ptr<kv::Armband> connectArmband();
    std::shared_ptr<kv::ArmbandConfig> config();
    // Connects, configures the stream for `mask` and switches raw EMG on.
    void startStream(uint8_t mask);
    // Waits (generously) for a completion and gives its result; empty if none came.
    std::optional<int> resultOf(const std::function<void(kv::ResultCallback)>& call);
    std::optional<int> notify(uint32_t flags);
    std::optional<int> configureStream(uint8_t mask);
    // One field of the status JSON, as text.
    std::string statusField(const std::string& field);
    void noteCompletionThread();

    std::shared_ptr<kv::Hub> hub;
    std::shared_ptr<RecordingListener> listener;
    std::unique_ptr<PollThread> poll;
    ControlClient control;
    std::atomic<int> completionsOffThePollThread{0};
};
