#include "armband/emg_routing.h"

#include "client/ws_server.h"
#include "commands/protocol.h"
#include "core/emg_geometry.h"
#include "core/event_queue.h"
#include "core/operating_state.h"

std::shared_ptr<std::vector<uint8_t>> recordBuffer = std::make_shared<std::vector<uint8_t>>();
std::mutex recordBufferMutex;
std::shared_ptr<std::vector<uint8_t>> identifyBuffer = std::make_shared<std::vector<uint8_t>>();
std::mutex identifyBufferMutex;

namespace {

constexpr size_t PREVIEW_BLOCKS = 4;  // frames 0, 4, 8 and 12 of a packet
constexpr size_t PREVIEW_FRAME_STEP = EMG_FRAMES_PER_PACKET / PREVIEW_BLOCKS;

void recordPacket(const uint8_t* packet, size_t length) {
    {
        std::lock_guard<std::mutex> lock(recordBufferMutex);
        recordBuffer->insert(recordBuffer->end(), packet, packet + length);
    }
    uint8_t preview[MAX_SERVER_MESSAGE];
    const size_t previewLength = buildEmgPreview(packet, length, preview);
    sendToClients(preview, static_cast<uint8_t>(previewLength));
}

// While idle the stream runs only for watching consoles (updateWatchStream):
// a client that did not ask to watch gets no preview, as before.
void previewForWatchers(const uint8_t* packet, size_t length) {
    if (consoleWatchers <= 0) return;
    uint8_t preview[MAX_SERVER_MESSAGE];
    const size_t previewLength = buildEmgPreview(packet, length, preview);
    sendToWatchers(preview, static_cast<uint8_t>(previewLength));
}

// Called once operatingMode is MODE_IDENTIFYING, which IDENTIFY_START sets after
// the window length (core/operating_state.h).
void collectForIdentification(const uint8_t* packet, size_t length) {
    const size_t windowLength = identifyWindowLength;
    EventRecord window;
    {
        std::lock_guard<std::mutex> lock(identifyBufferMutex);
        identifyBuffer->insert(identifyBuffer->end(), packet, packet + length);
        if (windowLength == 0 || identifyBuffer->size() <= windowLength) return;
        window =
            std::make_shared<std::vector<uint8_t>>(identifyBuffer->begin(), identifyBuffer->begin() + windowLength);
        // Windows overlap by half: the next one starts WINDOW_HALF_FRAMES later.
        identifyBuffer->erase(identifyBuffer->begin(), identifyBuffer->begin() + windowLength / 2);
    }
    identifyQueue.push(std::move(window));
}

}  // namespace

size_t buildEmgPreview(const uint8_t* packet, size_t length, uint8_t* out) {
    const size_t blockLength = length / EMG_FRAMES_PER_PACKET;  // one frame
    size_t blocks = PREVIEW_BLOCKS;
    if (blockLength > 0 && 1 + blocks * blockLength > MAX_SERVER_MESSAGE)
        blocks = (MAX_SERVER_MESSAGE - 1) / blockLength;
    size_t size = 0;
    out[size++] = MSG_EMG_PREVIEW;
    for (size_t k = 0; k < blocks; ++k) {
        const uint8_t* block = packet + PREVIEW_FRAME_STEP * k * blockLength;
        for (size_t i = 0; i < blockLength; ++i) out[size++] = block[i];
    }
    return size;
}

void routeEmgPacket(const uint8_t* packet, size_t length) {
    switch (operatingMode.load()) {
        case MODE_RECORDING: recordPacket(packet, length); break;
        case MODE_IDENTIFYING: collectForIdentification(packet, length); break;
        case MODE_IDLE: previewForWatchers(packet, length); break;
        default: break;
    }
}
