// IDENTIFY_START and IDENTIFY_STOP: switch the live classification of the
// EMG stream on and off; the identification thread does the rest.
#include "armband/emg_routing.h"
#include "armband/kinvo_handle.h"
#include "commands/branches.h"
#include "commands/protocol.h"
#include "core/logger.h"
#include "core/operating_state.h"
#include "model/features.h"
#include "model/identify.h"
#include "model/training.h"

void commandIdentifyStart(uint8_t length, Reply& reply) {
    reply.push_back(CMD_IDENTIFY_START);
    if (length != 1) {
        reply.push_back(STATUS_FAIL);
        return;
    }
    logPrint(LOG_DEBUG, LOG_TAG, "start identify command recieved.");  // spelling kept: log readers match it
    int32_t rows = 0;
    int32_t columns = 0;
    // The identification thread keeps the model in fixed arrays: a shape they
    // cannot hold is refused here rather than overrun there.
    if (operatingMode != MODE_IDLE || !readModelShape(rows, columns) || !modelShapeUsable(rows, columns) ||
        !modelNumbersFinite()) {
        reply.push_back(STATUS_FAIL);
        return;
    }
    // Hand-over order (see core/operating_state.h): shape, then newModelFlag, then the mode.
    modelRows = rows;
    modelColumns = columns;
    identifyWindowLength = static_cast<uint32_t>(columns - 1) * WINDOW_FRAMES;
    logPrint(LOG_DEBUG, LOG_TAG, "identify buffer length:%d", static_cast<int>(identifyWindowLength.load()));
    newModelFlag.exchange(true);
    operatingMode = MODE_IDENTIFYING;
    {
        std::lock_guard<std::mutex> lock(identifyBufferMutex);
        identifyBuffer->clear();
    }
    if (listener) listener->setDataNotifySwitch(NOTIFY_EMG_RAW);
}

void commandIdentifyStop(uint8_t length, Reply& reply) {
    reply.push_back(REPLY_IDENTIFY_STOP);
    if (length != 1) {
        reply.push_back(STATUS_FAIL);
        return;
    }
    logPrint(LOG_DEBUG, LOG_TAG, "stop identify command recieved.");  // spelling kept: log readers match it
    if (listener) listener->setDataNotifySwitch(NOTIFY_NONE);
    operatingMode = MODE_IDLE;
    reply.push_back(STATUS_STOPPED);
}
