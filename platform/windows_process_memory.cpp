#include "platform/process_memory.h"

#include <windows.h>
// psapi.h after windows.h, which it needs.
#include <psapi.h>

namespace platform {

uint64_t residentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.WorkingSetSize : 0;
}

}  // namespace platform
