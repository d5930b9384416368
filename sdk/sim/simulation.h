// The virtual armband and its hub, as one shared state behind one lock: the
// connection, the scan, the notification switch, the EMG stream, the faults
// ordered through the control endpoint, and all work promised for later.
//
// The hub, the armband, its configuration object and the control endpoint are
// thin faces of this class. Whatever they promise is put on the schedule and
// reaches the caller only inside run(), on the thread that calls it, with the
// lock released. Timed state changes (connected, disconnected, scan over) take
// effect when run() takes them, just before their notification is delivered.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kv/kinvo.h"
#include "sim/emg_stream.h"
#include "sim/fault_plan.h"
#include "sim/schedule.h"

namespace kv::sim {

namespace timing {
using std::chrono::milliseconds;
constexpr milliseconds SCAN_DURATION{1000};
constexpr milliseconds SCAN_FINDS_ARMBAND_AFTER{200};
constexpr milliseconds CONNECT_DELAY{300};
constexpr milliseconds DISCONNECT_DELAY{100};
constexpr milliseconds CONFIG_DELAY{5};
constexpr milliseconds UPDATE_STEP{50};  // between progress reports of a model update
}  // namespace timing

// Flags of setDataNotifySwitch.
constexpr uint32_t NOTIFY_RAW_EMG = 0x80;
constexpr uint32_t NOTIFY_GESTURES = 0x40;
// The data type passed with every raw EMG packet to onDeviceData.
constexpr uint32_t EMG_DATA_TYPE = 0x80;

constexpr uint16_t EMG_SAMPLE_RATE = 650;
constexpr uint8_t EMG_RESOLUTION = 8;

struct SimulationStatus {
    bool present = true;
    bool scanning = false;
    int state = STATE_DISCONNECTED;
    uint32_t notify = 0;
    bool packageId = false;
    uint8_t channelMask = 0;
    uint16_t dataLength = 0;
    uint64_t packets = 0;
    int gesture = 0;
    bool noConfig = false;
    std::wstring firmware;
    std::wstring hardware;
    size_t replayPending = 0;
    std::vector<uint8_t> modelImage;
};

class Simulation {
public:
    using Clock = std::chrono::steady_clock;

    void attachArmband(std::weak_ptr<Armband> armband);
    // Online between Hub::init and Hub::shutdown. Going offline drops the
    // connection, the scan and every promised delivery, without notice.
    void setOnline(bool online);

    // Hub
    int registerListener(std::weak_ptr<HubListener> listener);
    int unregisterListener(const std::weak_ptr<HubListener>& listener);
    int startScan();
    int stopScan();
    int run(int timeoutMs);

    // Armband
    int connectionState();
    int connect();
    int disconnect();
    bool configAvailable();

    // ArmbandConfig
    void setEmgRawDataConfig(uint16_t sampleRate, uint8_t channelMask, uint16_t dataLength, uint8_t resolution,
                             ResultCallback cb);
    void setDataNotifySwitch(uint32_t flags, ResultCallback cb);
    void switchPackageId(uint8_t enable, ResultCallback cb);
    void queryHardwareRevision(TextCallback cb);
    void queryFirmwareVersion(TextCallback cb);
    void trainModelUpdate(uint32_t length, const uint8_t* image, ProgressCallback cb);

    // Control endpoint
    void setPresent(bool present);
    void holdGesture(int gesture);
    bool reportArmbandGesture(uint8_t gesture);  // false while gesture notifications are off
    void reportDeviceStatus(uint8_t status);
    void reportHubState(int state);
    bool dropArmband(uint8_t reason);  // false when there is no connection to lose
    void orderFailure(Operation operation, uint32_t count, int result);
    void orderSilence(Operation operation, uint32_t count);
    void setNoConfig(bool noConfig);
    void setVersions(std::wstring firmware, std::wstring hardware);
    void replayNext(std::vector<uint8_t> bytes);
    void reseedSubject(uint32_t seed);
    SimulationStatus status();

private:
    using ListenerCall = std::function<void(HubListener&, const std::shared_ptr<Armband>&)>;

    // The helpers below expect mutex_ to be held.
    void schedule(Clock::duration delay, ScheduledItem item);
    void scheduleListenerCall(Clock::duration delay, Track track, ListenerCall call,
                              std::function<bool()> takeEffect = {});
    void scheduleCompletion(Clock::duration delay, std::function<void()> completion);
    void refreshStream();
    void loseConnection();
    void breakOffModelUpdate();
    bool collectDue(Clock::time_point now, std::vector<Delivery>& batch);
    Clock::time_point nextWake(Clock::time_point deadline) const;
    // Without the lock.
    void deliver(const Delivery& delivery);

    std::mutex mutex_;
    std::condition_variable workAdded_;

    std::weak_ptr<Armband> armband_;
    std::vector<std::weak_ptr<HubListener>> listeners_;
    bool online_ = false;
    bool present_ = true;
    bool scanning_ = false;
    int state_ = STATE_DISCONNECTED;
    uint32_t notify_ = 0;
    bool packageId_ = false;
    bool noConfig_ = false;
    std::wstring firmware_ = L"1.0.0";
    std::wstring hardware_ = L"rev-A";
    std::vector<uint8_t> modelImage_;
    // The completions of the model transfers under way, by transfer number.
    std::map<uint64_t, ProgressCallback> runningUpdates_;
    uint64_t updatesStarted_ = 0;
    FaultPlan faults_;
    EmgStream stream_;
    Schedule schedule_;
};

}  // namespace kv::sim
