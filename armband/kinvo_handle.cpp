#include "armband/kinvo_handle.h"

#include <chrono>
#include <thread>

#include "armband/emg_routing.h"
#include "armband/hub_events.h"
#include "commands/protocol.h"
#include "core/exit_application.h"
#include "core/logger.h"
#include "core/operating_state.h"
#include "core/timer.h"

std::shared_ptr<kv::Hub> hub;
std::shared_ptr<KinvoHandle> listener;

namespace {

constexpr int HUB_STATE_EXIT = 3;
constexpr auto CONNECT_SETTLE_TIME = std::chrono::seconds(2);

}  // namespace

std::shared_ptr<kv::Armband> heldArmband() {
    std::shared_ptr<KinvoHandle> handle = listener;
    return handle ? handle->getDevice() : nullptr;
}

const char* gestureName(uint8_t gesture) {
    static const char* const names[] = {"Relax",       "Fist",        "Spread",      "WaveIn",
                                        "WaveOut",     "Pinch",       "Shoot",       "UserDefine1",
                                        "UserDefine2", "UserDefine3", "UserDefine4", "UserDefine5",
                                        "UserDefine6", "UserDefine7", "UserDefine8", "UserDefine9"};
    return gesture < 16 ? names[gesture] : "Undefined";
}

std::string deviceStatusName(uint8_t status) {
    switch (status) {
        case 1: return "ReCenter";
        case 2: return "UsbPlugged";
        case 3: return "UsbPulled";
        case 4: return "Motionless";
        default: return "Undefined:" + std::to_string(status);
    }
}

KinvoHandle::KinvoHandle(std::shared_ptr<kv::Hub> hub) : hub_(std::move(hub)) {}

KinvoHandle::~KinvoHandle() {
    device_.reset();
    hub_.reset();
}

std::shared_ptr<kv::Armband> KinvoHandle::getDevice() {
    std::lock_guard<std::mutex> lock(deviceMutex_);
    return device_;
}

void KinvoHandle::onScanFinished() {
    if (getDevice()) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, device found, wait for conn", "KinvoHandle::onScanFinished");
        postHubEvent(MSG_SCAN_RESULT, STATUS_OK);
        return;
    }
    logPrint(LOG_DEBUG, LOG_TAG, "%s, no device found, continue scanning", "KinvoHandle::onScanFinished");
    hub_->startScan(SCAN_MODE);
}

void KinvoHandle::onStateChanged(int state) {
    logPrint(LOG_DEBUG, LOG_TAG, "%s, new state is %d", "KinvoHandle::onStateChanged", state);
    if (state == HUB_STATE_EXIT) exitApplication();
}

void KinvoHandle::onDeviceFound(std::shared_ptr<kv::Armband> armband) {
    logPrint(LOG_DEBUG, LOG_TAG, "KinvoHandle::onDeviceFound");
    if (!armband) return;
    {
        std::lock_guard<std::mutex> lock(deviceMutex_);
        device_ = std::move(armband);
    }
    hub_->stopScan();
}

void KinvoHandle::onDeviceConnected(std::shared_ptr<kv::Armband> armband) {
    std::shared_ptr<kv::ArmbandConfig> config = armband ? armband->getConfig() : nullptr;
    if (config) {
        // Give the armband time to settle before it is configured.
        std::this_thread::sleep_for(CONNECT_SETTLE_TIME);
        config->setDataNotifySwitch(NOTIFY_NONE, [](kv::ResponseResult result) {
            logPrint(LOG_DEBUG, LOG_TAG, "%s, close all data notify when connected, result(%d)",
                     "KinvoHandle::onCloseNotifyResult", static_cast<int>(result));
        });
        config->switchPackageId(1, [](kv::ResponseResult result) {
            logPrint(LOG_DEBUG, LOG_TAG, "%s, open package id, result(%d)", "KinvoHandle::onPackageIdResult",
                     static_cast<int>(result));
        });
    }
    postHubEvent(MSG_CONNECTED, STATUS_OK);
}

void KinvoHandle::onDeviceDisconnected(std::shared_ptr<kv::Armband>, uint8_t reason) {
    logPrint(LOG_DEBUG, LOG_TAG, "%s, reason(%d)", "KinvoHandle::onDeviceDisconnected", static_cast<int>(reason));
    {
        std::lock_guard<std::mutex> lock(deviceMutex_);
        device_.reset();
    }
    notifyFlags_ = NOTIFY_NONE;
    operatingMode = MODE_IDLE;
    if (timerId != TIMER_ID_NONE) recordTimer.stop();
    timerId = TIMER_ID_NONE;
    channelMask = 0;
    channelCount = 0;
    gestureMask = 0;
    gestureCount = 0;
    recordGesture = 0xFF;
    lastIdentifyResult = 0xFF;
    postHubEvent(MSG_DISCONNECTED, STATUS_OK);
}

void KinvoHandle::onGestureData(std::shared_ptr<kv::Armband>, uint8_t gesture) {
    logPrint(LOG_DEBUG, LOG_TAG, "%s, %s", "KinvoHandle::onGestureData", gestureName(gesture));
    if (operatingMode == MODE_GESTURE_STREAM) postHubEvent(MSG_GESTURE_DATA, gesture);
}

void KinvoHandle::onDeviceStatusChanged(std::shared_ptr<kv::Armband>, uint8_t status) {
    logPrint(LOG_DEBUG, LOG_TAG, "%s, %s", "KinvoHandle::onDeviceStatusChanged", deviceStatusName(status).c_str());
}

void KinvoHandle::onDeviceData(std::shared_ptr<kv::Armband>, uint32_t, std::shared_ptr<std::vector<uint8_t>> data) {
    if (data) routeEmgPacket(data->data(), data->size());
}
