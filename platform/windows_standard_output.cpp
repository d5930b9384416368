#include "platform/standard_output.h"

#include <cstdio>

bool discardStandardOutput() {
    std::fflush(stdout);
    return std::freopen("NUL", "w", stdout) != nullptr;
}
