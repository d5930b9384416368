// What the control endpoint's commands do to the virtual armband.
#include "sim/simulation.h"

namespace kv::sim {

void Simulation::setPresent(bool present) {
    std::lock_guard<std::mutex> lock(mutex_);
    present_ = present;
}

void Simulation::holdGesture(int gesture) {
    std::lock_guard<std::mutex> lock(mutex_);
    stream_.subject().setGesture(gesture);
}

bool Simulation::reportArmbandGesture(uint8_t gesture) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!online_ || !(notify_ & NOTIFY_GESTURES)) return false;
    // Checked again on delivery: the switch may go off in between.
    scheduleListenerCall(
        Clock::duration::zero(), Track::Other,
        [gesture](HubListener& l, const auto& armband) { l.onGestureData(armband, gesture); },
        [this] { return (notify_ & NOTIFY_GESTURES) != 0; });
    return true;
}

void Simulation::reportDeviceStatus(uint8_t status) {
    std::lock_guard<std::mutex> lock(mutex_);
    scheduleListenerCall(Clock::duration::zero(), Track::Other,
                         [status](HubListener& l, const auto& armband) { l.onDeviceStatusChanged(armband, status); });
}

void Simulation::reportHubState(int state) {
    std::lock_guard<std::mutex> lock(mutex_);
    scheduleListenerCall(Clock::duration::zero(), Track::Other,
                         [state](HubListener& l, const auto&) { l.onStateChanged(state); });
}

bool Simulation::dropArmband(uint8_t reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ == STATE_DISCONNECTED) return false;
    loseConnection();
    scheduleListenerCall(Clock::duration::zero(), Track::Other,
                         [reason](HubListener& l, const auto& armband) { l.onDeviceDisconnected(armband, reason); });
    return true;
}

void Simulation::orderFailure(Operation operation, uint32_t count, int result) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.fail(operation, count, result);
}

void Simulation::orderSilence(Operation operation, uint32_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.mute(operation, count);
}

void Simulation::setNoConfig(bool noConfig) {
    std::lock_guard<std::mutex> lock(mutex_);
    noConfig_ = noConfig;
}

void Simulation::setVersions(std::wstring firmware, std::wstring hardware) {
    std::lock_guard<std::mutex> lock(mutex_);
    firmware_ = std::move(firmware);
    hardware_ = std::move(hardware);
}

void Simulation::replayNext(std::vector<uint8_t> bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    stream_.replay(std::move(bytes));
}

void Simulation::reseedSubject(uint32_t seed) {
    std::lock_guard<std::mutex> lock(mutex_);
    stream_.subject().reseed(seed);
}

}  // namespace kv::sim
