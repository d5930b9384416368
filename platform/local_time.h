// Calendar time of a moment, thread-safe on every system.
#pragma once

#include <ctime>

namespace platform {

// The moment in local time; false when the system cannot convert it.
bool toLocalTime(std::time_t seconds, std::tm& out);
// The moment in UTC; false when the system cannot convert it.
bool toUtcTime(std::time_t seconds, std::tm& out);

}  // namespace platform
