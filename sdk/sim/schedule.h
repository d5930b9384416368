// Work the simulated hub has promised for later: listener notifications and
// completion handlers, each with the time it becomes due. Not thread-safe:
// the simulation guards it with its own lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "kv/kinvo.h"

namespace kv::sim {

// What reaches the caller of Hub::run: either a call on every registered
// listener, or a completion handler.
struct Delivery {
    std::function<void(HubListener&, const std::shared_ptr<Armband>&)> toListeners;
    std::function<void()> completion;
};

// Items on a track can be cancelled together (a stopped scan, an interrupted
// connection change, a model transfer cut off by a disconnection).
enum class Track { Scan, Connection, Update, Other };

struct ScheduledItem {
    Track track = Track::Other;
    // Runs under the simulation's lock when the item is taken, to make its state
    // change; returning false withdraws the delivery. May be empty.
    std::function<bool()> takeEffect;
    Delivery delivery;
};

class Schedule {
public:
    using Clock = std::chrono::steady_clock;

    void add(Clock::time_point due, ScheduledItem item);
    void cancel(Track track);
    void clear();

    std::optional<Clock::time_point> nextDue() const;
    // Removes and returns the earliest item if it is due at `now`; equal due
    // times come out in the order they were added.
    std::optional<ScheduledItem> takeIfDue(Clock::time_point now);

private:
    std::map<std::pair<Clock::time_point, uint64_t>, ScheduledItem> items_;
    uint64_t added_ = 0;
};

}  // namespace kv::sim
