#include "platform/standard_output.h"

#include <cstdio>

namespace platform {

bool discardStandardOutput() {
    std::fflush(stdout);
    return std::freopen("NUL", "w", stdout) != nullptr;
}

}  // namespace platform
