// An armband for in-process command tests: its configuration object answers
// every call at once, and a hook can act while a command waits for the answer.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "kv/kinvo.h"

struct FakeHub : kv::Hub {
    int init(int) override { return 0; }
    int shutdown() override { return 0; }
    int setHubMode(int) override { return 0; }
    int registerListener(std::weak_ptr<kv::HubListener>) override { return 0; }
    int unregisterListener(std::weak_ptr<kv::HubListener>) override { return 0; }
    int startScan(int) override { return 0; }
    int stopScan() override { return 0; }
    int run(int) override { return kv::RUN_TIMEOUT; }
};

struct FakeConfig : kv::ArmbandConfig {
    std::function<void(uint32_t flags)> beforeNotifyAnswer;
    std::wstring firmware;
    std::wstring hardware;

    void queryHardwareRevision(kv::TextCallback cb) override { cb(kv::RESPONSE_SUCCESS, hardware); }
    void queryFirmwareVersion(kv::TextCallback cb) override { cb(kv::RESPONSE_SUCCESS, firmware); }
    void trainModelUpdate(uint32_t, const uint8_t*, kv::ProgressCallback) override {}
    void setDataNotifySwitch(uint32_t flags, kv::ResultCallback cb) override {
        if (beforeNotifyAnswer) beforeNotifyAnswer(flags);
        cb(kv::RESPONSE_SUCCESS);
    }
    void switchPackageId(uint8_t, kv::ResultCallback) override {}
    void setEmgRawDataConfig(uint16_t, uint8_t, uint16_t, uint8_t, kv::ResultCallback) override {}
};

struct FakeArmband : kv::Armband {
    std::shared_ptr<FakeConfig> config = std::make_shared<FakeConfig>();

    int getConnectionState() override { return kv::STATE_CONNECTED; }
    int connect(int) override { return 0; }
    int disconnect() override { return 0; }
    std::shared_ptr<kv::ArmbandConfig> getConfig() override { return config; }
};
