#include "sim/schedule.h"

namespace kv::sim {

void Schedule::add(Clock::time_point due, ScheduledItem item) {
    items_.emplace(std::make_pair(due, added_++), std::move(item));
}

void Schedule::cancel(Track track) {
    for (auto it = items_.begin(); it != items_.end();) {
        it = it->second.track == track ? items_.erase(it) : std::next(it);
    }
}

void Schedule::clear() {
    items_.clear();
}

std::optional<Schedule::Clock::time_point> Schedule::nextDue() const {
    if (items_.empty()) return std::nullopt;
    return items_.begin()->first.first;
}

std::optional<ScheduledItem> Schedule::takeIfDue(Clock::time_point now) {
    if (items_.empty() || items_.begin()->first.first > now) return std::nullopt;
    ScheduledItem item = std::move(items_.begin()->second);
    items_.erase(items_.begin());
    return item;
}

}  // namespace kv::sim
