#include "commands/identify_thread.h"

#include "client/ws_server.h"
#include "commands/protocol.h"
#include "core/event_queue.h"
#include "core/logger.h"
#include "core/operating_state.h"
#include "model/identify.h"

namespace {

// The model and state belong to this thread alone; kept out of its stack
// because they are reused for every window.
IdentifyModel model;
IdentifyState state;
bool modelLoaded = false;

// Loads "W&B.txt" when a new model was announced. False when the window must
// be dropped.
bool refreshModel() {
    // The shape is read only after the flag is seen: IDENTIFY_START writes it
    // before it sets the flag (core/operating_state.h).
    if (newModelFlag) {
        const LoadResult result = loadIdentifyModel(modelRows, modelColumns, model, state);
        if (result == LOAD_OK) modelLoaded = true;
        newModelFlag.exchange(false);
        if (result != LOAD_OK) return false;
    }
    return modelLoaded;
}

}  // namespace

void identifyThread() {
    uint8_t message[2];
    for (;;) {
        EventRecord chunk = identifyQueue.pop();
        if (!refreshModel()) continue;
        // A window cut for another channel count than the model's cannot be read.
        if (chunk->size() < static_cast<size_t>(model.channels) * WINDOW_HALF_FRAMES) continue;
        const int result = identifyChunk(chunk->data(), state, model);
        if (result == lastIdentifyResult) continue;
        lastIdentifyResult = static_cast<uint8_t>(result);
        message[0] = MSG_IDENTIFY_RESULT;
        message[1] = gestureForClass(result, gestureMask);
        sendToClients(message, sizeof message);
        logPrint(LOG_DEBUG, LOG_TAG, "gesture:%d", result);
    }
}
