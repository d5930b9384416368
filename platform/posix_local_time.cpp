#include "platform/local_time.h"

namespace platform {

bool toLocalTime(std::time_t seconds, std::tm& out) {
    return localtime_r(&seconds, &out) != nullptr;
}

bool toUtcTime(std::time_t seconds, std::tm& out) {
    return gmtime_r(&seconds, &out) != nullptr;
}

}  // namespace platform
