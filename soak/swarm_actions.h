// What one of the background clients does next: a command (valid, malformed
// or of an ignored code) or raw frames, some of which the server must answer
// by dropping the connection. Nothing here can end the server, start or stop
// a recording, or change the armband's state.
#pragma once

#include <random>
#include <string>

#include "tools/client_kit/ws_client.h"

struct SwarmAction {
    enum Kind {
        COMMAND,        // a message in a proper frame; the connection stays
        UNUSUAL_FRAMES, // valid but unusual framing (fragments, pings, long length fields); stays
        EXPECT_DROP,    // frames the server must refuse by dropping the connection
        THEN_CLOSE,     // incomplete frames, after which the client closes
        RESET,          // the client aborts the connection
        BAD_HANDSHAKE,  // the client leaves, then sends raw as an upgrade request on a new connection
    };
    Kind kind = COMMAND;
    Bytes payload;   // COMMAND: the message
    int opcode = 2;  // COMMAND: 1 text, 2 binary
    Bytes raw;       // other kinds: the bytes on the wire
    bool malformed = false;  // a command of a wrong length or an ignored code
    std::string label;       // the kind of frame, for failure details
};

SwarmAction nextSwarmAction(std::minstd_rand& random);
// A PING of 1 MiB + 1 bytes (its length counts modulo 256).
SwarmAction largeMessage(std::minstd_rand& random);
