// The HTTP side of the WebSocket server's port: the console's page and JSON
// API, and the checks on who may connect (Host and Origin).
#pragma once

#include "http/access_policy.h"

namespace uWS {
struct Hub;
}

// Registers the HTTP request, upgrade and cancellation handlers on the hub's
// default group. Called on the server thread before listen.
void attachHttpSide(uWS::Hub& hub, const AccessPolicy& policy, bool serveConsole);
