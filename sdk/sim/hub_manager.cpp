// The factory of kv/kinvo.h: a new simulated hub per call.
#include <atomic>

#include "kv/kinvo.h"
#include "sim/control_server.h"
#include "sim/sim_hub.h"
#include "sim/test_hooks.h"

namespace kv::sim {
namespace {
std::atomic<bool> hubUnavailable{false};
std::atomic<uint16_t> controlEndpointPort{ControlServer::DEFAULT_PORT};
}  // namespace

void setControlPort(uint16_t port) {
    controlEndpointPort = port;
}

uint16_t controlPort() {
    return controlEndpointPort;
}

void setHubUnavailable(bool unavailable) {
    hubUnavailable = unavailable;
}

}  // namespace kv::sim

std::shared_ptr<kv::Hub> kv::HubManager::getHubInstance(const std::wstring& /*clientName*/) {
    if (kv::sim::hubUnavailable) return nullptr;
    return std::make_shared<kv::sim::SimHub>();
}
