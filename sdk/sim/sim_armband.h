// The virtual armband and its configuration object, as the server sees them.
// Both only forward to the simulation; one of each lives as long as the hub.
#pragma once

#include <memory>

#include "kv/kinvo.h"
#include "sim/simulation.h"

namespace kv::sim {

class SimArmbandConfig : public ArmbandConfig {
public:
    explicit SimArmbandConfig(std::shared_ptr<Simulation> simulation) : simulation_(std::move(simulation)) {}

    void queryHardwareRevision(TextCallback cb) override;
    void queryFirmwareVersion(TextCallback cb) override;
    void trainModelUpdate(uint32_t length, const uint8_t* image, ProgressCallback cb) override;
    void setDataNotifySwitch(uint32_t flags, ResultCallback cb) override;
    void switchPackageId(uint8_t enable, ResultCallback cb) override;
    void setEmgRawDataConfig(uint16_t sampleRate, uint8_t channelMask, uint16_t dataLength, uint8_t resolution,
                             ResultCallback cb) override;

private:
    std::shared_ptr<Simulation> simulation_;
};

class SimArmband : public Armband {
public:
    explicit SimArmband(std::shared_ptr<Simulation> simulation);

    int getConnectionState() override;
    // 0 from state 0 only (state 2 at once, 3 after 300 ms with onDeviceConnected);
    // RESPONSE_FAILED while connecting, connected or disconnecting.
    int connect(int autoConnect) override;
    // 0 from state 2 or 3 (state 1 at once, 0 after 100 ms with onDeviceDisconnected
    // reason 0; a connection still being made is abandoned); RESPONSE_FAILED otherwise.
    int disconnect() override;
    // The configuration object while connected; empty otherwise or while
    // the control endpoint's "no-config 1" is in force.
    std::shared_ptr<ArmbandConfig> getConfig() override;

private:
    std::shared_ptr<Simulation> simulation_;
    std::shared_ptr<SimArmbandConfig> config_;
};

}  // namespace kv::sim
