// What a server message may look like at all, whoever asked for it (docs/protocol.md):
// the code and status pairs, the preview layout and the version text.
#pragma once

#include <string>

#include "tools/client_kit/ws_client.h"

// The texts the virtual armband answers version queries with (set by the soak).
struct VersionTexts {
    std::string firmware;
    std::string hardware;
};

// Empty when the message can occur; otherwise why it cannot.
std::string protocolViolation(const WsMessage& message, const VersionTexts& versions);
