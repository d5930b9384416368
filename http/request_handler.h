// The HTTP side of the WebSocket server's port: who may connect (Host and
// Origin), then the console's page and JSON API. Runs on the server thread;
// the answers are plain values, written by the connection (client/).
#pragma once

#include <optional>

#include "http/access_policy.h"
#include "http/http_reply.h"
#include "http/request.h"

// Set once before the server thread starts.
void configureHttpSide(const AccessPolicy& policy, bool serveConsole);

// The answer to a plain HTTP request: 403 for a foreign Host, else the route's.
HttpReply answerHttpRequest(const Request& request);

// The refusal of a WebSocket upgrade (foreign Host or Origin), or nullopt
// when the upgrade may go ahead.
std::optional<HttpReply> refusalOfWebSocket(const Request& request);
