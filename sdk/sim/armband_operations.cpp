// What the armband and its configuration object do when the server calls them.
//
// Results: connect is accepted only while disconnected; disconnect only while
// connecting (the connection attempt is abandoned) or connected; any other call
// returns RESPONSE_FAILED at once. Configuration calls made while the armband is
// not connected, or with a stream layout it cannot produce, complete with
// RESPONSE_FAILED and change nothing. A call answered by an ordered failure or
// silence changes nothing either.
#include <bitset>

#include "sim/simulation.h"

namespace kv::sim {
namespace {

bool isFailure(const FaultPlan::Outcome& outcome) {
    return outcome.kind == FaultPlan::Outcome::Fail;
}

}  // namespace

int Simulation::connectionState() {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

int Simulation::connect() {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto outcome = faults_.next(Operation::Connect);
    if (isFailure(outcome)) return outcome.result;
    if (!online_ || state_ != STATE_DISCONNECTED) return RESPONSE_FAILED;
    state_ = STATE_CONNECTING;
    scheduleListenerCall(
        timing::CONNECT_DELAY, Track::Connection,
        [](HubListener& l, const auto& armband) { l.onDeviceConnected(armband); },
        [this] {
            state_ = STATE_CONNECTED;
            refreshStream();
            return true;
        });
    return RESPONSE_SUCCESS;
}

int Simulation::disconnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto outcome = faults_.next(Operation::Disconnect);
    if (isFailure(outcome)) return outcome.result;
    if (!online_ || (state_ != STATE_CONNECTED && state_ != STATE_CONNECTING)) return RESPONSE_FAILED;
    schedule_.cancel(Track::Connection);
    breakOffModelUpdate();
    state_ = STATE_DISCONNECTING;
    refreshStream();
    scheduleListenerCall(
        timing::DISCONNECT_DELAY, Track::Connection,
        [](HubListener& l, const auto& armband) { l.onDeviceDisconnected(armband, 0); },
        [this] {
            loseConnection();
            return true;
        });
    return RESPONSE_SUCCESS;
}

bool Simulation::configAvailable() {
    std::lock_guard<std::mutex> lock(mutex_);
    return online_ && state_ == STATE_CONNECTED && !noConfig_;
}

void Simulation::setEmgRawDataConfig(uint16_t sampleRate, uint8_t channelMask, uint16_t dataLength, uint8_t resolution,
                                     ResultCallback cb) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!online_) return;
    const auto outcome = faults_.next(Operation::EmgConfig);
    if (outcome.kind == FaultPlan::Outcome::Mute) return;
    int result = isFailure(outcome) ? outcome.result : RESPONSE_SUCCESS;
    if (result == RESPONSE_SUCCESS) {
        const size_t channels = std::bitset<8>(channelMask).count();
        const bool producible = sampleRate == EMG_SAMPLE_RATE && resolution == EMG_RESOLUTION &&
                                dataLength == EmgStream::FRAMES_PER_PACKET * channels;
        if (state_ != STATE_CONNECTED || !producible) {
            result = RESPONSE_FAILED;
        } else {
            stream_.configure(channelMask, dataLength, Clock::now());
            refreshStream();
        }
    }
    scheduleCompletion(timing::CONFIG_DELAY, [cb = std::move(cb), result] {
        if (cb) cb(static_cast<ResponseResult>(result));
    });
}

void Simulation::setDataNotifySwitch(uint32_t flags, ResultCallback cb) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!online_) return;
    const auto outcome = faults_.next(Operation::Notify);
    if (outcome.kind == FaultPlan::Outcome::Mute) return;
    int result = isFailure(outcome) ? outcome.result : RESPONSE_SUCCESS;
    if (result == RESPONSE_SUCCESS) {
        if (state_ != STATE_CONNECTED) {
            result = RESPONSE_FAILED;
        } else {
            notify_ = flags;
            refreshStream();
        }
    }
    scheduleCompletion(timing::CONFIG_DELAY, [cb = std::move(cb), result] {
        if (cb) cb(static_cast<ResponseResult>(result));
    });
}

void Simulation::switchPackageId(uint8_t enable, ResultCallback cb) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!online_) return;
    const auto outcome = faults_.next(Operation::PackageId);
    int result = isFailure(outcome) ? outcome.result : RESPONSE_SUCCESS;
    if (result == RESPONSE_SUCCESS) {
        if (state_ != STATE_CONNECTED) {
            result = RESPONSE_FAILED;
        } else {
            packageId_ = enable != 0;
        }
    }
    scheduleCompletion(timing::CONFIG_DELAY, [cb = std::move(cb), result] {
        if (cb) cb(static_cast<ResponseResult>(result));
    });
}

void Simulation::queryHardwareRevision(TextCallback cb) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!online_) return;
    const auto outcome = faults_.next(Operation::Hardware);
    if (outcome.kind == FaultPlan::Outcome::Mute) return;
    int result = isFailure(outcome) ? outcome.result : RESPONSE_SUCCESS;
    if (result == RESPONSE_SUCCESS && state_ != STATE_CONNECTED) result = RESPONSE_FAILED;
    std::wstring text = result == RESPONSE_SUCCESS ? hardware_ : std::wstring();
    scheduleCompletion(timing::CONFIG_DELAY, [cb = std::move(cb), result, text = std::move(text)] {
        if (cb) cb(static_cast<ResponseResult>(result), text);
    });
}

void Simulation::queryFirmwareVersion(TextCallback cb) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!online_) return;
    const auto outcome = faults_.next(Operation::Firmware);
    if (outcome.kind == FaultPlan::Outcome::Mute) return;
    int result = isFailure(outcome) ? outcome.result : RESPONSE_SUCCESS;
    if (result == RESPONSE_SUCCESS && state_ != STATE_CONNECTED) result = RESPONSE_FAILED;
    std::wstring text = result == RESPONSE_SUCCESS ? firmware_ : std::wstring();
    scheduleCompletion(timing::CONFIG_DELAY, [cb = std::move(cb), result, text = std::move(text)] {
        if (cb) cb(static_cast<ResponseResult>(result), text);
    });
}

void Simulation::trainModelUpdate(uint32_t length, const uint8_t* image, ProgressCallback cb) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!online_) return;
    // The caller releases the image when this returns: keep our own copy.
    if (image != nullptr) {
        modelImage_.assign(image, image + length);
    } else {
        modelImage_.clear();
    }
    const auto outcome = faults_.next(Operation::Update);
    if (outcome.kind == FaultPlan::Outcome::Mute) return;
    int result = isFailure(outcome) ? outcome.result : RESPONSE_SUCCESS;
    if (result == RESPONSE_SUCCESS && (state_ != STATE_CONNECTED || image == nullptr)) {
        result = RESPONSE_FAILED;
    }
    if (result != RESPONSE_SUCCESS) {
        // The first report carries the failure and ends the transfer.
        scheduleCompletion(timing::UPDATE_STEP, [cb, result] {
            if (cb) cb(static_cast<ResponseResult>(result), 0);
        });
        return;
    }
    const uint64_t transfer = ++updatesStarted_;
    runningUpdates_[transfer] = cb;
    for (uint32_t step = 1; step <= 10; ++step) {
        const bool last = step == 10;
        schedule(timing::UPDATE_STEP * step,
                 ScheduledItem{Track::Update,
                               [this, last, transfer] {
                                   if (last) runningUpdates_.erase(transfer);
                                   return true;
                               },
                               Delivery{{}, [cb, percent = step * 10] {
                                            if (cb) cb(RESPONSE_SUCCESS, percent);
                                        }}});
    }
}

}  // namespace kv::sim
