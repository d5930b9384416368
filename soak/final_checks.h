// The checks after the load: the server still runs and answers a new
// client's PING quickly, and its memory has stopped growing.
#pragma once

#include <vector>

#include "soak/memory_monitor.h"
#include "soak/report.h"
#include "tools/client_kit/server_process.h"

// PING round trips of fresh clients, in ms (-1 for no answer within a second).
std::vector<int64_t> pingLatencies(Report& report, int clients, int64_t limitMs);

void checkMemory(Report& report, const MemoryVerdict& verdict);
