// Failures and silences ordered through the control endpoint: the next COUNT
// calls of an operation either report a given result instead of success, or
// never complete. Not thread-safe: the simulation guards it with its own lock.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kv::sim {

enum class Operation {
    Scan,
    Connect,
    Disconnect,
    EmgConfig,
    Notify,
    PackageId,
    Hardware,
    Firmware,
    Update,
};

// The control endpoint's name of an operation ("scan", "emg-config", ...).
std::optional<Operation> operationNamed(const std::string& name);
// Whether the operation has a completion that can be withheld.
bool canMute(Operation operation);

class FaultPlan {
public:
    struct Outcome {
        enum Kind { Normal, Fail, Mute } kind = Normal;
        int result = 0;  // the reported result when kind is Fail
    };

    // Replaces whatever was ordered for the operation before.
    void fail(Operation operation, uint32_t count, int result);
    void mute(Operation operation, uint32_t count);

    // Consumes the order for one call: a pending mute comes before a pending failure.
    Outcome next(Operation operation);

private:
    struct Order {
        uint32_t failCount = 0;
        int failResult = 1;
        uint32_t muteCount = 0;
    };
    static constexpr size_t kOperationCount = static_cast<size_t>(Operation::Update) + 1;
    std::array<Order, kOperationCount> orders_{};
};

}  // namespace kv::sim
