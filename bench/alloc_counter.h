// Counts heap allocations made through operator new by every thread of the
// process (the benchmarks that link alloc_counter.cpp replace the global
// operator new), so a benchmark can report allocations per operation.
#pragma once

#include <cstdint>

uint64_t allocationCount();
