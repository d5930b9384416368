// Hub SDK interface: the classes, operations and results the server relies on.
// This folder is the stand-in for the vendor's SDK; a build against the real
// SDK swaps the folder and nothing else.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kv {

// 0 is success; any other value is a failure the caller only logs.
enum ResponseResult : int {
    RESPONSE_SUCCESS = 0,
    RESPONSE_FAILED = 1,
};

// Connection states reported by Armband::getConnectionState.
enum ConnectionState : int {
    STATE_DISCONNECTED = 0,
    STATE_DISCONNECTING = 1,
    STATE_CONNECTING = 2,
    STATE_CONNECTED = 3,
};

using ResultCallback = std::function<void(ResponseResult)>;
using TextCallback = std::function<void(ResponseResult, std::wstring)>;
using ProgressCallback = std::function<void(ResponseResult, uint32_t percent)>;

class ArmbandConfig {
public:
    virtual ~ArmbandConfig() = default;
    virtual void queryHardwareRevision(TextCallback cb) = 0;
    virtual void queryFirmwareVersion(TextCallback cb) = 0;
    // The image is copied during the call; cb reports (result, percent) per step.
    virtual void trainModelUpdate(uint32_t length, const uint8_t* image, ProgressCallback cb) = 0;
    // Flags: 0x80 raw EMG, 0x40 gestures, 0 nothing.
    virtual void setDataNotifySwitch(uint32_t flags, ResultCallback cb) = 0;
    virtual void switchPackageId(uint8_t enable, ResultCallback cb) = 0;
    virtual void setEmgRawDataConfig(uint16_t sampleRate, uint8_t channelMask, uint16_t dataLength, uint8_t resolution,
                                     ResultCallback cb) = 0;
};

class Armband {
public:
    virtual ~Armband() = default;
    virtual int getConnectionState() = 0;
    virtual int connect(int autoConnect) = 0;
    virtual int disconnect() = 0;
    virtual std::shared_ptr<ArmbandConfig> getConfig() = 0;
};

// Every callback arrives on the thread that calls Hub::run.
class HubListener {
public:
    virtual void onScanFinished() {}
    virtual void onStateChanged(int /*state*/) {}
    virtual void onDeviceFound(std::shared_ptr<Armband> /*armband*/) {}
    virtual void onDeviceSignal(std::shared_ptr<Armband> /*armband*/) {}
    virtual void onDeviceConnected(std::shared_ptr<Armband> /*armband*/) {}
    virtual void onDeviceDisconnected(std::shared_ptr<Armband> /*armband*/, uint8_t /*reason*/) {}
    virtual void onDeviceReport(std::shared_ptr<Armband> /*armband*/, uint32_t /*value*/) {}
    virtual void onGestureData(std::shared_ptr<Armband> /*armband*/, uint8_t /*gesture*/) {}
    virtual void onDeviceStatusChanged(std::shared_ptr<Armband> /*armband*/, uint8_t /*status*/) {}
    virtual void onDeviceData(std::shared_ptr<Armband> /*armband*/, uint32_t /*dataType*/,
                              std::shared_ptr<std::vector<uint8_t>> /*data*/) {}
    virtual ~HubListener() = default;
};

class Hub {
public:
    virtual ~Hub() = default;
    virtual int init(int option) = 0;
    virtual int shutdown() = 0;
    virtual int setHubMode(int mode) = 0;
    virtual int registerListener(std::weak_ptr<HubListener> listener) = 0;
    virtual int unregisterListener(std::weak_ptr<HubListener> listener) = 0;
    virtual int startScan(int mode) = 0;
    virtual int stopScan() = 0;
    // Waits up to timeoutMs for pending work and delivers callbacks on the
    // calling thread: 0 when something was delivered, RUN_TIMEOUT otherwise.
    virtual int run(int timeoutMs) = 0;
};

constexpr int RUN_TIMEOUT = 7;

class HubManager {
public:
    static std::shared_ptr<Hub> getHubInstance(const std::wstring& clientName);
};

}  // namespace kv
