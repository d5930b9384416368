// For the tests: a limit on the size of the files this process writes, a full
// disk in small. A write past it fails instead of raising a signal.
#pragma once

#include <cstdint>

namespace platform {

// False where the system has no such limit (Windows).
bool limitFileSize(uint64_t bytes);
// Back to the limit before limitFileSize.
void liftFileSizeLimit();

}  // namespace platform
