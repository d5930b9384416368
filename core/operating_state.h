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

// Written by the record, identification and gesture-stream commands and the
// save (main thread), and reset to MODE_IDLE by a disconnection (sdkPollThread).
// Read by the packet routing and the gesture callback (sdkPollThread).
extern std::atomic<int32_t> operatingMode;
// Written by EMG_RAW_CONFIG (main); 0 at start-up and after a disconnection
// (sdkPollThread), meaning "not configured". gestureMask is also read by
// identifyThread to turn class numbers into gestures.
extern std::atomic<uint8_t> channelMask;
extern std::atomic<uint8_t> channelCount;
extern std::atomic<uint8_t> gestureMask;
extern std::atomic<uint8_t> gestureCount;
// Written by RECORD_START (main), read by the save (main); 255 at start-up and
// after a disconnection (sdkPollThread).
extern std::atomic<uint8_t> recordGesture;
// The identification hand-over. IDENTIFY_START (main) writes the shape
// (modelRows, modelColumns, identifyWindowLength) first, then sets newModelFlag,
// then sets operatingMode to MODE_IDENTIFYING; that order is what makes the shape
// visible to identifyThread, which reads it only after it sees the flag, and to
// the routing, which cuts windows only once the mode is set. A successful
// MODEL_GENERATE (main) also sets the flag; identifyThread clears it after a load.
// identifyWindowLength 0 (until the first IDENTIFY_START) cuts no windows;
// modelRows and modelColumns are 0 until then.
extern std::atomic<uint32_t> identifyWindowLength;
extern std::atomic<int32_t> modelRows;
extern std::atomic<int32_t> modelColumns;
extern std::atomic<bool> newModelFlag;
// Class number last reported by identifyThread; 255 (nothing reported) at
// start-up and after a disconnection (sdkPollThread).
extern std::atomic<uint8_t> lastIdentifyResult;

// Channel count of the last EMG_RAW_CONFIG (main); unlike channelCount it is
// kept across a disconnection, so that the recordings' lengths stay readable.
extern std::atomic<uint8_t> lastChannelCount;
// Steady-clock milliseconds (steadyMs) at which the running recording's timer
// was armed; written by RECORD_START (main), read by the status route.
extern std::atomic<int64_t> recordStartedAtMs;
// The model transfer as the clients last heard of it: written by MODEL_UPDATE
// and by the forwarded hub events (main), read by the status route.
enum UploadState : int32_t {
    UPLOAD_NONE = 0,
    UPLOAD_RUNNING = 1,
    UPLOAD_DONE = 2,
    UPLOAD_FAILED = 3,
};
extern std::atomic<int32_t> uploadState;
extern std::atomic<int32_t> uploadProgress;  // percent of the last progress report, 0 before one

// Number of web consoles that watch the live signal: written by the WebSocket
// server (serverThread) as watchers come and go, read by the packet routing
// (sdkPollThread) and by updateWatchStream (main).
extern std::atomic<int32_t> consoleWatchers;

// Milliseconds of the steady clock, for intervals only.
int64_t steadyMs();

// Number of set bits among bits 0 to 7.
uint8_t bitCount(uint8_t value);
