#include "sim/sim_armband.h"

namespace kv::sim {

void SimArmbandConfig::queryHardwareRevision(TextCallback cb) {
    simulation_->queryHardwareRevision(std::move(cb));
}

void SimArmbandConfig::queryFirmwareVersion(TextCallback cb) {
    simulation_->queryFirmwareVersion(std::move(cb));
}

void SimArmbandConfig::trainModelUpdate(uint32_t length, const uint8_t* image, ProgressCallback cb) {
    simulation_->trainModelUpdate(length, image, std::move(cb));
}

void SimArmbandConfig::setDataNotifySwitch(uint32_t flags, ResultCallback cb) {
    simulation_->setDataNotifySwitch(flags, std::move(cb));
}

void SimArmbandConfig::switchPackageId(uint8_t enable, ResultCallback cb) {
    simulation_->switchPackageId(enable, std::move(cb));
}

void SimArmbandConfig::setEmgRawDataConfig(uint16_t sampleRate, uint8_t channelMask, uint16_t dataLength,
                                           uint8_t resolution, ResultCallback cb) {
    simulation_->setEmgRawDataConfig(sampleRate, channelMask, dataLength, resolution, std::move(cb));
}

SimArmband::SimArmband(std::shared_ptr<Simulation> simulation)
    : simulation_(simulation), config_(std::make_shared<SimArmbandConfig>(simulation)) {}

int SimArmband::getConnectionState() {
    return simulation_->connectionState();
}

// autoConnect changes nothing for the virtual armband.
int SimArmband::connect(int /*autoConnect*/) {
    return simulation_->connect();
}

int SimArmband::disconnect() {
    return simulation_->disconnect();
}

std::shared_ptr<ArmbandConfig> SimArmband::getConfig() {
    if (!simulation_->configAvailable()) return nullptr;
    return config_;
}

}  // namespace kv::sim
