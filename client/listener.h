// The listening sockets of the port, on the server thread's io_context.
#pragma once

#include <boost/asio/io_context.hpp>
#include <string>

// Listens on every address of host (empty: 127.0.0.1 and ::1) at port and
// hands each accepted connection to serveConnection. False when an address is
// in use or none could be opened; then nothing listens.
bool listenOn(boost::asio::io_context& context, const std::string& host, int port);

// True when host is empty or names only loopback addresses.
bool isLoopbackOnly(const std::string& host);
