// TCP sockets on the loopback address, the few calls the clients need. A
// socket is an int: on Windows a SOCKET is a kernel handle, and Windows keeps
// handle values within 32 bits (they are shared with 32-bit processes).
#pragma once

#include <cstddef>

constexpr int NO_SOCKET = -1;

// A TCP socket connected to 127.0.0.1:port with Nagle's delay off, or
// NO_SOCKET (nothing listening, or no socket to be had). Starts the sockets
// library once per process where the system needs that (Winsock).
int connectToLoopback(int port);

void closeSocket(int socket);

// A TCP port of 127.0.0.1 that was free a moment ago (the system's pick), or 0.
int freeLoopbackPort();

// True when socket has bytes (or an end) to read within timeoutMs (0 or less: no wait).
bool pollReadable(int socket, int timeoutMs);

// Bytes sent or received, or -1 on an error. Sending never raises SIGPIPE.
long sendBytes(int socket, const void* data, size_t size);
long receiveBytes(int socket, void* data, size_t size);
