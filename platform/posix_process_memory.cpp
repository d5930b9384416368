#include "platform/process_memory.h"

#include <unistd.h>

#include <fstream>

namespace platform {

uint64_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    uint64_t resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace platform
