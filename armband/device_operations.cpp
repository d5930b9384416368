// The four operations through which commands reach the armband. The SDK
// answers each later on the polling thread; the two that wait for that answer
// wait without spinning and give up after DEVICE_ANSWER_TIMEOUT_MS, so an
// armband that never answers cannot hang the server.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <iostream>

#include "armband/hub_events.h"
#include "armband/kinvo_handle.h"
#include "commands/protocol.h"
#include "core/emg_geometry.h"
#include "core/logger.h"
#include "core/operating_state.h"

namespace {

constexpr int NOTIFY_SWITCH_ATTEMPTS = 3;
constexpr auto ANSWER_TIMEOUT = std::chrono::milliseconds(DEVICE_ANSWER_TIMEOUT_MS);

// One version answer; shared with the SDK's handler so a late answer after a
// time-out lands in an object that still exists.
struct VersionAnswer {
    std::promise<std::wstring> text;
    std::atomic<bool> answered{false};
};

kv::TextCallback versionHandler(std::shared_ptr<VersionAnswer> answer, const char* success, const char* failure) {
    return [answer, success, failure](kv::ResponseResult result, std::wstring text) {
        if (answer->answered.exchange(true)) return;
        if (result == kv::RESPONSE_SUCCESS) {
            std::cout << success << std::endl;
            answer->text.set_value(std::move(text));
        } else {
            std::cout << failure << std::endl;
            answer->text.set_value(std::wstring());
        }
    };
}

std::wstring awaitVersion(std::shared_ptr<VersionAnswer> answer, const char* which) {
    std::future<std::wstring> future = answer->text.get_future();
    if (future.wait_for(ANSWER_TIMEOUT) == std::future_status::ready) return future.get();
    logPrint(LOG_DEBUG, LOG_TAG, "%s, no %s answer within %d ms", "KinvoHandle::queryVersions", which,
             DEVICE_ANSWER_TIMEOUT_MS);
    return std::wstring();
}

}  // namespace

void KinvoHandle::setEmgRawDataConfig(uint8_t channelMask) {
    const char* name = "KinvoHandle::setEmgRawDataConfig";
    std::shared_ptr<kv::Armband> armband = getDevice();
    if (!armband) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, device not exist", name);
        postHubEvent(MSG_EMG_RAW_CONFIG_RESULT, STATUS_NO_DEVICE);
        return;
    }
    std::shared_ptr<kv::ArmbandConfig> config = armband->getConfig();
    if (!config) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, setting not exist", name);
        postHubEvent(MSG_EMG_RAW_CONFIG_RESULT, STATUS_NO_CONFIG);
        return;
    }
    const uint16_t dataLength = static_cast<uint16_t>(EMG_FRAMES_PER_PACKET * bitCount(channelMask));
    config->setEmgRawDataConfig(
        EMG_SAMPLE_RATE, channelMask, dataLength, EMG_RESOLUTION, [](kv::ResponseResult result) {
            logPrint(LOG_DEBUG, LOG_TAG, "%s, result(%d)", "KinvoHandle::onEmgRawDataConfigResult",
                     static_cast<int>(result));
            postHubEvent(MSG_EMG_RAW_CONFIG_RESULT, result == kv::RESPONSE_SUCCESS ? STATUS_OK : STATUS_DEVICE_FAILED);
        });
}

void KinvoHandle::setDataNotifySwitch(uint32_t flags) {
    const char* name = "KinvoHandle::setDataNotifySwitch";
    std::shared_ptr<kv::Armband> armband = getDevice();
    if (!armband) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, device not exist", name);
        return;
    }
    // Taken as set even when the armband never answers: the server carries on as if it had.
    notifyFlags_ = flags;
    for (int attempt = 1; attempt <= NOTIFY_SWITCH_ATTEMPTS; ++attempt) {
        auto answer = std::make_shared<std::promise<kv::ResponseResult>>();
        std::future<kv::ResponseResult> future = answer->get_future();
        std::shared_ptr<kv::ArmbandConfig> config = armband->getConfig();
        if (!config) {
            logPrint(LOG_DEBUG, LOG_TAG, "%s, setting not exist", name);
            continue;
        }
        logPrint(LOG_DEBUG, LOG_TAG, "%s, flag=0x%08x", name, flags);
        config->setDataNotifySwitch(flags, [answer](kv::ResponseResult result) {
            answer->set_value(result);
            logPrint(LOG_DEBUG, LOG_TAG, "%s, result(%d)", "KinvoHandle::onDataNotifySwitchResult",
                     static_cast<int>(result));
        });
        if (future.wait_for(ANSWER_TIMEOUT) != std::future_status::ready) {
            logPrint(LOG_DEBUG, LOG_TAG, "%s, no answer within %d ms", name, DEVICE_ANSWER_TIMEOUT_MS);
            continue;
        }
        if (future.get() == kv::RESPONSE_SUCCESS) return;
    }
}

void KinvoHandle::trainModelUpdate(const uint8_t* image, uint32_t length) {
    const char* name = "KinvoHandle::trainModelUpdate";
    std::shared_ptr<kv::Armband> armband = getDevice();
    if (!armband) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, device not exist", name);
        postHubEvent(MSG_MODEL_UPDATE_RESULT, STATUS_NO_DEVICE);
        return;
    }
    std::shared_ptr<kv::ArmbandConfig> config = armband->getConfig();
    if (!config) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, setting not exist", name);
        postHubEvent(MSG_MODEL_UPDATE_RESULT, STATUS_NO_CONFIG);
        return;
    }
    config->trainModelUpdate(length, image, [](kv::ResponseResult result, uint32_t percentage) {
        logPrint(LOG_DEBUG, LOG_TAG, "%s, result(%d) percentage(%d)", "KinvoHandle::onTrainModelUpdateProgress",
                 static_cast<int>(result), static_cast<int>(percentage));
        if (result != kv::RESPONSE_SUCCESS) {
            postHubEvent(MSG_MODEL_UPDATE_RESULT, STATUS_DEVICE_FAILED);
            return;
        }
        const uint8_t percent = static_cast<uint8_t>(percentage & 0xFF);
        postHubEvent(MSG_MODEL_UPDATE_PROGRESS, percent);
        if (percent == 100) postHubEvent(MSG_MODEL_UPDATE_RESULT, STATUS_OK);
    });
}

std::map<std::string, std::wstring> KinvoHandle::queryVersions() {
    std::map<std::string, std::wstring> versions{{"HW", L""}, {"FW", L""}};
    std::shared_ptr<kv::Armband> armband = getDevice();
    std::shared_ptr<kv::ArmbandConfig> config = armband ? armband->getConfig() : nullptr;
    if (!config) return versions;
    auto hardware = std::make_shared<VersionAnswer>();
    auto firmware = std::make_shared<VersionAnswer>();
    config->queryHardwareRevision(versionHandler(hardware, "get hw success", "get hw revision failure"));
    config->queryFirmwareVersion(versionHandler(firmware, "get fw success", "get fw failure"));
    versions["HW"] = awaitVersion(hardware, "hardware revision");
    versions["FW"] = awaitVersion(firmware, "firmware version");
    return versions;
}
