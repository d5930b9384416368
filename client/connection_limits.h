// The bounds of the port: nothing a client sends or fails to read can grow the
// server past them. docs/protocol.md lists them for the clients' authors.
#pragma once

#include <chrono>
#include <cstddef>

// Connections at once. Above them a new connection gets 503 and is closed.
constexpr int MAX_WEBSOCKET_CLIENTS = 256;
constexpr int MAX_HTTP_CONNECTIONS = 64;  // connections not (yet) upgraded to WebSocket

// One inbound WebSocket message, all its fragments together; a longer one
// closes the connection with 1009. The protocol's longest command is a few bytes.
constexpr std::size_t MAX_WEBSOCKET_MESSAGE_BYTES = 1024 * 1024;

// Messages queued for one WebSocket client that has not read them yet, in
// bytes (each counted with QUEUED_MESSAGE_OVERHEAD_BYTES). A client that lets
// more pile up is disconnected: with a hundred clients pinging, that is a
// minute of replies; at the preview rate alone, a quarter of an hour.
constexpr std::size_t MAX_CLIENT_QUEUE_BYTES = 4 * 1024 * 1024;
constexpr std::size_t QUEUED_MESSAGE_OVERHEAD_BYTES = 64;

// Client commands waiting on the event queue for the main loop (busy during a
// model generation, for instance), in bytes as EventQueue::pushWithin counts
// them. A client whose message would pass the bound is disconnected.
constexpr std::size_t MAX_QUEUED_CLIENT_EVENT_BYTES = 4 * 1024 * 1024;

// Messages handed to the server thread by sendToClients and not yet taken by
// it. Only a stalled server thread fills it; past it messages are dropped.
constexpr std::size_t MAX_OUTBOX_MESSAGES = 65536;

// An HTTP connection must deliver a whole request head within this time
// (also the keep-alive idle time between requests), and take each piece of a
// reply within HTTP_WRITE_TIMEOUT; otherwise it is closed.
constexpr std::chrono::seconds HTTP_IDLE_TIMEOUT{5};
constexpr std::chrono::seconds HTTP_WRITE_TIMEOUT{10};
// A WebSocket handshake must complete within this time.
constexpr std::chrono::seconds WEBSOCKET_HANDSHAKE_TIMEOUT{5};
