// TCP sockets on the loopback address, the few calls the clients need. A
// socket is an int: on Windows a SOCKET is a kernel handle, and Windows keeps
// handle values within 32 bits (they are shared with 32-bit processes).
#pragma once

#include <cstddef>
#include <vector>

namespace platform {

constexpr int NO_SOCKET = -1;
// What sendBytes and receiveBytes answer when a non-blocking socket can take
// or give nothing now (EAGAIN, WSAEWOULDBLOCK, or a call cut short by a signal).
constexpr long WOULD_BLOCK = -2;

// A TCP socket connected to 127.0.0.1:port with Nagle's delay off, or
// NO_SOCKET (nothing listening, or no socket to be had). Starts the sockets
// library once per process where the system needs that (Winsock).
int connectToLoopback(int port);
// The same to [::1]:port.
int connectToLoopbackV6(int port);

void closeSocket(int socket);
// Closes with a reset (RST) instead of an orderly end, as a crashed peer would.
void closeWithReset(int socket);

// A TCP port of 127.0.0.1 that was free a moment ago (the system's pick), or 0.
int freeLoopbackPort();

// True when socket has bytes (or an end) to read within timeoutMs (0 or less: no wait).
bool pollReadable(int socket, int timeoutMs);

// Bytes sent or received, WOULD_BLOCK, or -1 on an error. Sending never raises SIGPIPE.
long sendBytes(int socket, const void* data, size_t size);
long receiveBytes(int socket, void* data, size_t size);

// A non-blocking TCP listener on 127.0.0.1:port, not inherited by child
// processes, with room for `backlog` connections not yet accepted; or NO_SOCKET.
int listenOnLoopback(int port, int backlog);
// The same on every IPv4 address of the machine (0.0.0.0:port).
int listenOnAllAddresses(int port, int backlog);
// A waiting connection of a listener, non-blocking and not inherited, or
// NO_SOCKET when none waits.
int acceptWaiting(int listener);
// Two connected non-blocking sockets: a byte sent into `writeEnd` makes
// `readEnd` readable, which wakes a thread waiting in pollSockets.
bool makeWakePair(int& readEnd, int& writeEnd);

struct PolledSocket {
    int socket = NO_SOCKET;
    bool wantRead = false;
    bool wantWrite = false;
    bool readable = false;  // bytes, an end or an error to read
    bool writable = false;
};
// Waits until one of the sockets is ready, without end when timeoutMs < 0;
// sets readable and writable. False on an error other than an interruption.
bool pollSockets(std::vector<PolledSocket>& sockets, int timeoutMs);

// Test helpers. Ends the sending half: the peer reads an end after the bytes sent.
void endSending(int socket);
// Asks for a smaller (or larger) receive buffer than the system's default.
void setReceiveBufferSize(int socket, int bytes);
// A blocking send gives up after ms without progress (it answers WOULD_BLOCK).
void setSendTimeout(int socket, int ms);
// Sends and receives from now on never wait.
bool makeNonBlocking(int socket);
// True once the peer has ended or reset the connection, even with its bytes
// still unread here; false after timeoutMs.
bool waitForPeerEnd(int socket, int timeoutMs);

}  // namespace platform
