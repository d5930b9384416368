#include "platform/file_size_limit.h"

namespace platform {

// Windows has no per-process limit on file sizes.
bool limitFileSize(uint64_t) {
    return false;
}

void liftFileSizeLimit() {}

}  // namespace platform
