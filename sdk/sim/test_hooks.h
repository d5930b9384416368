// Switches for tests of the server, not part of the hub interface.
#pragma once

namespace kv::sim {

// While set, HubManager::getHubInstance returns an empty pointer.
void setHubUnavailable(bool unavailable);

}  // namespace kv::sim
