// For the tests: how much memory this process holds in RAM.
#pragma once

#include <cstdint>

namespace platform {

// The resident size (Windows: the working set) in bytes; 0 when unknown.
uint64_t residentBytes();

}  // namespace platform
