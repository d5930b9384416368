// The factory of kv/kinvo.h: a new simulated hub per call.
#include <atomic>

#include "kv/kinvo.h"
#include "sim/sim_hub.h"
#include "sim/test_hooks.h"

namespace kv::sim {
namespace {
std::atomic<bool> hubUnavailable{false};
}

void setHubUnavailable(bool unavailable) {
    hubUnavailable = unavailable;
}

}  // namespace kv::sim

std::shared_ptr<kv::Hub> kv::HubManager::getHubInstance(const std::wstring& /*clientName*/) {
    if (kv::sim::hubUnavailable) return nullptr;
    return std::make_shared<kv::sim::SimHub>();
}
