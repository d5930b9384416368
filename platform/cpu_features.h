// What the processor running this process can do, checked once.
#pragma once

namespace platform {

// True when the processor and the operating system support AVX2 (the
// operating system must save the wide registers on a thread switch).
bool cpuHasAvx2();

}  // namespace platform
