// Hub events: two-byte client messages that travel through eventQueue as
// [HUB_EVT, code, status] and are forwarded unchanged to the clients.
#pragma once

#include <cstdint>

void postHubEvent(uint8_t code, uint8_t status);
void handleHubEvents(const uint8_t* payload, uint8_t length);
