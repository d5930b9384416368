// The end of a recording: the timer's expiry switches the stream off and
// queues the save; the save appends the recording to its raw file.
#pragma once

#include <cstdint>

enum InternalJob : uint8_t {
    INTERNAL_SAVE_RECORDING = 1,
};

void handleTimerEvents(const uint8_t* payload, uint8_t length);
void handleInternalEvents(const uint8_t* payload, uint8_t length);
