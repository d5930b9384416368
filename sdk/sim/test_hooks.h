// Settings of the stand-in for the server and its tests, not part of the hub interface.
#pragma once

#include <cstdint>

namespace kv::sim {

// While set, HubManager::getHubInstance returns an empty pointer.
void setHubUnavailable(bool unavailable);

// The port of the control endpoint that hubs created from now on open on
// 127.0.0.1 (8889 unless set).
void setControlPort(uint16_t port);
uint16_t controlPort();

}  // namespace kv::sim
