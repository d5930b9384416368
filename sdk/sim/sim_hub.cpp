#include "sim/sim_hub.h"

#include "sim/pad_hook.h"
#include "sim/test_hooks.h"

namespace kv::sim {

SimHub::SimHub()
    : simulation_(std::make_shared<Simulation>()),
      armband_(std::make_shared<SimArmband>(simulation_)),
      commands_(*simulation_),
      server_([this](const std::string& line) { return commands_.execute(line); }) {
    simulation_->attachArmband(armband_);
}

SimHub::~SimHub() {
    shutdown();
}

int SimHub::init(int /*option*/) {
    std::lock_guard<std::mutex> lock(lifecycle_);
    if (initialised_) return RESPONSE_SUCCESS;
    if (!server_.start(controlPort())) return RESPONSE_FAILED;
    simulation_->setOnline(true);
    attachPadSimulation(simulation_);
    initialised_ = true;
    return RESPONSE_SUCCESS;
}

int SimHub::shutdown() {
    std::lock_guard<std::mutex> lock(lifecycle_);
    server_.stop();
    attachPadSimulation({});
    simulation_->setOnline(false);
    initialised_ = false;
    return RESPONSE_SUCCESS;
}

// The virtual hub has a single mode; any value is accepted.
int SimHub::setHubMode(int /*mode*/) {
    return RESPONSE_SUCCESS;
}

int SimHub::registerListener(std::weak_ptr<HubListener> listener) {
    return simulation_->registerListener(std::move(listener));
}

int SimHub::unregisterListener(std::weak_ptr<HubListener> listener) {
    return simulation_->unregisterListener(listener);
}

// Every scan mode scans the same way.
int SimHub::startScan(int /*mode*/) {
    return simulation_->startScan();
}

int SimHub::stopScan() {
    return simulation_->stopScan();
}

int SimHub::run(int timeoutMs) {
    // Hold the simulation for the whole call, whatever happens to the hub meanwhile.
    const std::shared_ptr<Simulation> simulation = simulation_;
    return simulation->run(timeoutMs);
}

}  // namespace kv::sim
