#include "platform/local_time.h"

namespace platform {

// The C runtime's _s forms take their arguments the other way round and return an error number.
bool toLocalTime(std::time_t seconds, std::tm& out) {
    return localtime_s(&out, &seconds) == 0;
}

bool toUtcTime(std::time_t seconds, std::tm& out) {
    return gmtime_s(&out, &seconds) == 0;
}

}  // namespace platform
