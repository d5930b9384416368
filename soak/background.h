// The load beside the conductor until stop is set: background clients, one thread each, that
// send something every 50-200 ms (valid, malformed and oversized commands, malformed raw
// frames), check every message they receive against the protocol and reconnect when their
// connection ends; and faults through the control endpoint that leave the conductor's
// bookkeeping alone.
#pragma once

#include <atomic>

#include "soak/report.h"

void runBackground(Report& report, const VersionTexts& versions, int clients, const std::atomic<bool>& stop);
