// The simulated hub: one virtual armband, and the control endpoint through
// which testers steer it while the hub is initialised.
#pragma once

#include <memory>
#include <mutex>

#include "kv/kinvo.h"
#include "sim/control_commands.h"
#include "sim/control_server.h"
#include "sim/sim_armband.h"
#include "sim/simulation.h"

namespace kv::sim {

class SimHub : public Hub {
public:
    SimHub();
    ~SimHub() override;

    // Opens the control endpoint on 127.0.0.1:8889; 1 when the port cannot be bound.
    int init(int option) override;
    // Closes the endpoint and drops the connection and all pending deliveries.
    int shutdown() override;
    int setHubMode(int mode) override;
    int registerListener(std::weak_ptr<HubListener> listener) override;
    int unregisterListener(std::weak_ptr<HubListener> listener) override;
    // A scan lasts 1 s: onDeviceFound after 200 ms if the armband is present,
    // then onScanFinished. Calling it during a scan returns 0 and changes nothing.
    int startScan(int mode) override;
    // Ends a running scan; its onScanFinished follows at once. RESPONSE_FAILED
    // when no scan is running.
    int stopScan() override;
    // Raw EMG packets come to onDeviceData with data type 0x80.
    int run(int timeoutMs) override;

private:
    std::shared_ptr<Simulation> simulation_;
    std::shared_ptr<SimArmband> armband_;
    ControlCommands commands_;
    ControlServer server_;
    std::mutex lifecycle_;  // init and shutdown
    bool initialised_ = false;
};

}  // namespace kv::sim
