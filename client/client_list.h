// The connected WebSocket clients, in order of connection. Only the server
// thread changes or walks the list; other threads read the count.
#pragma once

#include <memory>

#include "client/websocket_client.h"

// Adds a client that completed its handshake and logs "uWS connect, clients(%d)".
// A watcher coming or going changes consoleWatchers and queues WATCH_EVT, so
// that the main thread switches the armband's stream.
void addClient(const std::shared_ptr<WebSocketClient>& client);
// Removes it and logs "uWS disconnect, clients(%d)".
void removeClient(const WebSocketClient* client);
// Queues the message for every client, in list order.
void deliverToClients(const Message& message);
// Queues the message for the watching consoles only.
void deliverToWatchers(const Message& message);
