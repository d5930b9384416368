// Recordings "from an earlier session" placed in the work directory before
// the server starts, so that model generation has material from the start.
#pragma once

#include <string>

// seconds of 8-channel frames at 650 frames/s for gesture (1..8): rest and
// holds of the gesture alternate every 1.5 s; whole 128-byte packets.
std::string seedRecording(unsigned gesture, unsigned seconds);
