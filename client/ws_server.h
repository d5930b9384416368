// The WebSocket endpoint for the training application: every inbound message
// becomes an APP_CLIENT_EVT record; sendToClients broadcasts to every client.
// The same port serves the web console over plain HTTP (http/). Its bounds
// are in client/connection_limits.h.
#pragma once

#include <cstdint>

constexpr int SERVER_PORT = 8888;  // the default of --port

// Body of the server thread: runs the event loop for the life of the process.
void serverThread();

// One binary WebSocket message to every connected client, in call order per
// client. Callable from any thread; the send itself happens on the server thread.
void sendToClients(const uint8_t* data, uint8_t length);

// The same, to the watching consoles only (the live signal while idle):
// other clients never receive it. Callable from any thread.
void sendToWatchers(const uint8_t* data, uint8_t length);

// Number of connected clients.
int connectedClients();
