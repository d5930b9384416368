// Carries out one client command on the main thread and answers the clients.
#pragma once

#include <cstdint>
#include <vector>

// The reply under construction: a branch appends its reply code and, when it
// answers at once, a status byte. Replies shorter than two bytes are not sent.
using Reply = std::vector<uint8_t>;

void handleClientCommands(const uint8_t* bytes, uint8_t length);
