// What the server is doing: written by the handlers on the main thread and by
// the disconnection callback, read by the SDK and identification threads.
#pragma once

#include <atomic>
#include <cstdint>

enum OperatingMode : int32_t {
    MODE_IDLE = 0,
    MODE_RECORDING = 1,
    MODE_IDENTIFYING = 2,
    MODE_GESTURE_STREAM = 3,
};

extern std::atomic<int32_t> operatingMode;
extern std::atomic<uint8_t> channelMask;
extern std::atomic<uint8_t> channelCount;
extern std::atomic<uint8_t> gestureMask;
extern std::atomic<uint8_t> gestureCount;
extern std::atomic<uint8_t> recordGesture;
extern std::atomic<uint32_t> identifyWindowLength;
extern std::atomic<int32_t> modelRows;
extern std::atomic<int32_t> modelColumns;
extern std::atomic<bool> newModelFlag;
extern std::atomic<uint8_t> lastIdentifyResult;

// Number of set bits among bits 0 to 7.
uint8_t bitCount(uint8_t value);
