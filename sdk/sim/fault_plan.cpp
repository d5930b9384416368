#include "sim/fault_plan.h"

#include <utility>

namespace kv::sim {
namespace {

constexpr std::pair<const char*, Operation> kNames[] = {
    {"scan", Operation::Scan},
    {"connect", Operation::Connect},
    {"disconnect", Operation::Disconnect},
    {"emg-config", Operation::EmgConfig},
    {"notify", Operation::Notify},
    {"package-id", Operation::PackageId},
    {"hw", Operation::Hardware},
    {"fw", Operation::Firmware},
    {"update", Operation::Update},
};

}  // namespace

std::optional<Operation> operationNamed(const std::string& name) {
    for (const auto& [text, operation] : kNames) {
        if (name == text) return operation;
    }
    return std::nullopt;
}

bool canMute(Operation operation) {
    switch (operation) {
        case Operation::EmgConfig:
        case Operation::Notify:
        case Operation::Hardware:
        case Operation::Firmware:
        case Operation::Update: return true;
        default: return false;
    }
}

void FaultPlan::fail(Operation operation, uint32_t count, int result) {
    Order& order = orders_[static_cast<size_t>(operation)];
    order.failCount = count;
    order.failResult = result;
}

void FaultPlan::mute(Operation operation, uint32_t count) {
    orders_[static_cast<size_t>(operation)].muteCount = count;
}

FaultPlan::Outcome FaultPlan::next(Operation operation) {
    Order& order = orders_[static_cast<size_t>(operation)];
    if (order.muteCount > 0) {
        --order.muteCount;
        return {Outcome::Mute, 0};
    }
    if (order.failCount > 0) {
        --order.failCount;
        return {Outcome::Fail, order.failResult};
    }
    return {};
}

}  // namespace kv::sim
