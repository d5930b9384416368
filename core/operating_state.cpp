#include "core/operating_state.h"

#include <chrono>

std::atomic<int32_t> operatingMode{MODE_IDLE};
std::atomic<uint8_t> channelMask{0};
std::atomic<uint8_t> channelCount{0};
std::atomic<uint8_t> gestureMask{0};
std::atomic<uint8_t> gestureCount{0};
std::atomic<uint8_t> recordGesture{255};
std::atomic<uint32_t> identifyWindowLength{0};
std::atomic<int32_t> modelRows{0};
std::atomic<int32_t> modelColumns{0};
std::atomic<bool> newModelFlag{false};
std::atomic<uint8_t> lastIdentifyResult{255};
std::atomic<uint8_t> lastChannelCount{0};
std::atomic<int64_t> recordStartedAtMs{0};
std::atomic<int32_t> uploadState{UPLOAD_NONE};
std::atomic<int32_t> uploadProgress{0};
std::atomic<int32_t> consoleWatchers{0};

int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

uint8_t bitCount(uint8_t value) {
    uint8_t count = 0;
    for (int bit = 0; bit < 8; ++bit) count += (value >> bit) & 1u;
    return count;
}
