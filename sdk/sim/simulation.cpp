// The simulation's core: going on and offline, listeners, scans and the
// delivery loop behind Hub::run.
#include "sim/simulation.h"

#include <algorithm>

namespace kv::sim {
namespace {

bool sameListener(const std::weak_ptr<HubListener>& a, const std::weak_ptr<HubListener>& b) {
    return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

void Simulation::attachArmband(std::weak_ptr<Armband> armband) {
    std::lock_guard<std::mutex> lock(mutex_);
    armband_ = std::move(armband);
}

void Simulation::setOnline(bool online) {
    std::lock_guard<std::mutex> lock(mutex_);
    online_ = online;
    if (!online) {
        schedule_.clear();
        runningUpdates_.clear();
        scanning_ = false;
        state_ = STATE_DISCONNECTED;
        notify_ = 0;
        refreshStream();
    }
    workAdded_.notify_all();
}

int Simulation::registerListener(std::weak_ptr<HubListener> listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (listener.expired()) return RESPONSE_FAILED;
    const bool known = std::any_of(listeners_.begin(), listeners_.end(),
                                   [&](const auto& other) { return sameListener(other, listener); });
    if (!known) listeners_.push_back(std::move(listener));
    return RESPONSE_SUCCESS;
}

int Simulation::unregisterListener(const std::weak_ptr<HubListener>& listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t before = listeners_.size();
    listeners_.erase(
        std::remove_if(listeners_.begin(), listeners_.end(),
                       [&](const auto& other) { return other.expired() || sameListener(other, listener); }),
        listeners_.end());
    return listeners_.size() < before ? RESPONSE_SUCCESS : RESPONSE_FAILED;
}

int Simulation::startScan() {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto outcome = faults_.next(Operation::Scan);
    if (outcome.kind == FaultPlan::Outcome::Fail) return outcome.result;
    if (!online_) return RESPONSE_FAILED;
    if (scanning_) return RESPONSE_SUCCESS;  // the running scan goes on
    scanning_ = true;
    // Whether the armband is in range is decided when the scan starts.
    if (present_) {
        scheduleListenerCall(timing::SCAN_FINDS_ARMBAND_AFTER, Track::Scan,
                             [](HubListener& l, const auto& armband) { l.onDeviceFound(armband); });
    }
    scheduleListenerCall(
        timing::SCAN_DURATION, Track::Scan, [](HubListener& l, const auto&) { l.onScanFinished(); },
        [this] {
            scanning_ = false;
            return true;
        });
    return RESPONSE_SUCCESS;
}

int Simulation::stopScan() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!scanning_) return RESPONSE_FAILED;
    schedule_.cancel(Track::Scan);
    scanning_ = false;
    // A stopped scan still reports its end, at once.
    scheduleListenerCall(Clock::duration::zero(), Track::Other,
                         [](HubListener& l, const auto&) { l.onScanFinished(); });
    return RESPONSE_SUCCESS;
}

int Simulation::run(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    std::vector<Delivery> batch;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!collectDue(Clock::now(), batch)) {
            if (Clock::now() >= deadline) return RUN_TIMEOUT;
            workAdded_.wait_until(lock, nextWake(deadline));
        }
    }
    for (const Delivery& delivery : batch) deliver(delivery);
    return RESPONSE_SUCCESS;
}

bool Simulation::collectDue(Clock::time_point now, std::vector<Delivery>& batch) {
    // Scheduled items and packets are taken in time order, so a state change
    // (a disconnection, a switched-off stream) cuts the stream at its due time.
    for (;;) {
        const auto itemDue = schedule_.nextDue();
        const auto packetDue = stream_.nextDue();
        const bool itemFirst = itemDue && (!packetDue || *itemDue <= *packetDue);
        if (itemFirst) {
            auto item = schedule_.takeIfDue(now);
            if (!item) break;
            if (!item->takeEffect || item->takeEffect()) batch.push_back(std::move(item->delivery));
        } else {
            auto packet = packetDue ? stream_.takeIfDue(now) : std::nullopt;
            if (!packet) break;
            batch.push_back({[bytes = std::move(packet->bytes)](HubListener& l, const auto& armband) {
                                 l.onDeviceData(armband, EMG_DATA_TYPE, bytes);
                             },
                             {}});
        }
    }
    return !batch.empty();
}

Simulation::Clock::time_point Simulation::nextWake(Clock::time_point deadline) const {
    Clock::time_point wake = deadline;
    if (const auto due = schedule_.nextDue()) wake = std::min(wake, *due);
    if (const auto due = stream_.nextDue()) wake = std::min(wake, *due);
    return wake;
}

void Simulation::deliver(const Delivery& delivery) {
    if (delivery.completion) {
        delivery.completion();
        return;
    }
    std::vector<std::weak_ptr<HubListener>> listeners;
    std::shared_ptr<Armband> armband;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        listeners = listeners_;
        armband = armband_.lock();
    }
    for (const auto& weak : listeners) {
        if (const auto listener = weak.lock()) delivery.toListeners(*listener, armband);
    }
}

void Simulation::schedule(Clock::duration delay, ScheduledItem item) {
    schedule_.add(Clock::now() + delay, std::move(item));
    workAdded_.notify_all();
}

void Simulation::scheduleListenerCall(Clock::duration delay, Track track, ListenerCall call,
                                      std::function<bool()> takeEffect) {
    schedule(delay, ScheduledItem{track, std::move(takeEffect), Delivery{std::move(call), {}}});
}

void Simulation::scheduleCompletion(Clock::duration delay, std::function<void()> completion) {
    schedule(delay, ScheduledItem{Track::Other, {}, Delivery{{}, std::move(completion)}});
}

void Simulation::refreshStream() {
    const bool streaming = online_ && state_ == STATE_CONNECTED && (notify_ & NOTIFY_RAW_EMG);
    stream_.setRunning(streaming, Clock::now());
    workAdded_.notify_all();
}

void Simulation::breakOffModelUpdate() {
    schedule_.cancel(Track::Update);
    // Each transfer's completion hears of the lost link once, with a failure.
    for (auto& running : runningUpdates_) {
        scheduleCompletion(Clock::duration::zero(), [cb = std::move(running.second)] {
            if (cb) cb(RESPONSE_FAILED, 0);
        });
    }
    runningUpdates_.clear();
}

void Simulation::loseConnection() {
    breakOffModelUpdate();
    schedule_.cancel(Track::Connection);
    state_ = STATE_DISCONNECTED;
    // A lost armband forgets its notification switch.
    notify_ = 0;
    refreshStream();
}

SimulationStatus Simulation::status() {
    std::lock_guard<std::mutex> lock(mutex_);
    SimulationStatus status;
    status.present = present_;
    status.scanning = scanning_;
    status.state = state_;
    status.notify = notify_;
    status.packageId = packageId_;
    status.channelMask = stream_.channelMask();
    status.dataLength = stream_.dataLength();
    status.packets = stream_.packetsDelivered();
    status.gesture = stream_.subject().gesture();
    status.noConfig = noConfig_;
    status.firmware = firmware_;
    status.hardware = hardware_;
    status.replayPending = stream_.replayPending();
    status.modelImage = modelImage_;
    return status;
}

}  // namespace kv::sim
