// The SDK listener: holds the hub and the armband the last scan found, turns
// SDK callbacks into hub events, and carries the device operations.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "core/emg_geometry.h"
#include "kv/kinvo.h"

class KinvoHandle : public kv::HubListener {
public:
    explicit KinvoHandle(std::shared_ptr<kv::Hub> hub);
    ~KinvoHandle() override;

    void onScanFinished() override;
    void onStateChanged(int state) override;
    void onDeviceFound(std::shared_ptr<kv::Armband> armband) override;
    void onDeviceConnected(std::shared_ptr<kv::Armband> armband) override;
    void onDeviceDisconnected(std::shared_ptr<kv::Armband> armband, uint8_t reason) override;
    void onGestureData(std::shared_ptr<kv::Armband> armband, uint8_t gesture) override;
    void onDeviceStatusChanged(std::shared_ptr<kv::Armband> armband, uint8_t status) override;
    void onDeviceData(std::shared_ptr<kv::Armband> armband, uint32_t dataType,
                      std::shared_ptr<std::vector<uint8_t>> data) override;

    // Device operations, called on the main thread.
    void setEmgRawDataConfig(uint8_t channelMask);
    void setDataNotifySwitch(uint32_t flags);
    void trainModelUpdate(const uint8_t* image, uint32_t length);
    std::map<std::string, std::wstring> queryVersions();

    // A copy of the armband held now (empty when none).
    std::shared_ptr<kv::Armband> getDevice();
    // The flag word last asked of the held armband; 0 after a disconnection.
    uint32_t notifyFlags() const { return notifyFlags_; }

private:
    // Written by setDataNotifySwitch (main) and the disconnection (sdkPollThread).
    std::atomic<uint32_t> notifyFlags_{0};
    std::shared_ptr<kv::Hub> hub_;
    std::mutex deviceMutex_;
    std::shared_ptr<kv::Armband> device_;
};

// Notification flag words of setDataNotifySwitch.
constexpr uint32_t NOTIFY_NONE = 0x00;
constexpr uint32_t NOTIFY_GESTURE = 0x40;
constexpr uint32_t NOTIFY_EMG_RAW = 0x80;

// Raw EMG stream parameters.
constexpr uint16_t EMG_SAMPLE_RATE = EMG_FRAMES_PER_SECOND;  // as the SDK takes it
constexpr uint8_t EMG_RESOLUTION = 8;
constexpr int SCAN_MODE = 192;

// How long a device operation waits for the armband's answer before giving up.
constexpr int DEVICE_ANSWER_TIMEOUT_MS = 3000;

extern std::shared_ptr<kv::Hub> hub;
extern std::shared_ptr<KinvoHandle> listener;

// Copy of the held armband, empty when there is no listener or no armband.
std::shared_ptr<kv::Armband> heldArmband();

const char* gestureName(uint8_t gesture);
std::string deviceStatusName(uint8_t status);
