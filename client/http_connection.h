// One connection to the port before (or without) a WebSocket upgrade: reads
// request heads one at a time, answers each in full before reading the next,
// streams chunked bodies as the client takes them, and hands an accepted
// upgrade to a WebSocketClient. Lives on the server thread.
#pragma once

#include <boost/asio/ip/tcp.hpp>

// Serves a freshly accepted connection, or refuses it with 503 when
// MAX_HTTP_CONNECTIONS are open.
void serveConnection(boost::asio::ip::tcp::socket socket);

// Connections being served now (not counting upgraded ones).
int openHttpConnections();
