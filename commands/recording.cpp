#include "commands/recording.h"

#include <cstdio>
#include <unistd.h>

#include "armband/emg_routing.h"
#include "armband/kinvo_handle.h"
#include "client/ws_server.h"
#include "commands/branches.h"
#include "commands/protocol.h"
#include "core/event_queue.h"
#include "core/logger.h"
#include "core/operating_state.h"
#include "core/timer.h"

namespace {

void switchStreams(uint32_t flags) {
    if (listener) listener->setDataNotifySwitch(flags);
}

struct SaveResult {
    bool opened = false;
    size_t written = 0;
    bool closed = false;
};

// Appends the recording with one write. A short write is cut off again, so a
// failed save never leaves a partial recording in front of the next one.
SaveResult appendRecording(const std::string& name, const std::vector<uint8_t>& bytes) {
    SaveResult result;
    std::FILE* file = std::fopen(name.c_str(), "ab");
    if (!file) return result;
    result.opened = true;
    std::fseek(file, 0, SEEK_END);
    const long sizeBefore = std::ftell(file);
    result.written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
    if (result.written != bytes.size() && sizeBefore >= 0) {
        std::fflush(file);
        if (ftruncate(fileno(file), sizeBefore) != 0) {
            // Nothing more can be done; the save is reported as failed either way.
        }
    }
    result.closed = std::fclose(file) == 0;
    return result;
}

}  // namespace

std::string rawFileName(unsigned gesture) { return "raw" + std::to_string(gesture) + ".bin"; }

void commandRecordStart(const uint8_t* bytes, uint8_t length, Reply& reply) {
    reply.push_back(CMD_RECORD_START);
    if (length != 2 || operatingMode != MODE_IDLE) {
        reply.push_back(STATUS_FAIL);
        return;
    }
    recordGesture = bytes[1];
    {
        std::lock_guard<std::mutex> lock(recordBufferMutex);
        recordBuffer->clear();
    }
    operatingMode = MODE_RECORDING;
    switchStreams(NOTIFY_EMG_RAW);
    recordTimer.stop();
    timerId = TIMER_ID_RECORD_LIMIT;
    recordTimer.start(recordTimerExpired, RECORD_LIMIT_MS);
}

void commandRecordStop(uint8_t length, Reply& reply) {
    reply.push_back(CMD_RECORD_START);
    if (length != 1 || operatingMode != MODE_RECORDING) {
        reply.push_back(STATUS_FAIL);
        return;
    }
    operatingMode = MODE_IDLE;
    switchStreams(NOTIFY_NONE);
    if (timerId != TIMER_ID_NONE) {
        recordTimer.stop();
        timerId = TIMER_ID_NONE;
    }
    reply.push_back(STATUS_STOPPED);
}

void handleTimerEvents(const uint8_t* payload, uint8_t length) {
    logPrint(LOG_DEBUG, LOG_TAG, "handleTimerEvents");
    if (length == 0) {
        logPrint(LOG_DEBUG, LOG_TAG, "Timer event format err!!!");
        return;
    }
    if (payload[0] != TIMER_ID_RECORD_LIMIT) return;
    switchStreams(NOTIFY_NONE);
    eventQueue.push(makeRecord({INTERNAL_EVT, INTERNAL_SAVE_RECORDING}));
}

void handleInternalEvents(const uint8_t* payload, uint8_t length) {
    logPrint(LOG_DEBUG, LOG_TAG, "handleInternalEvents");
    if (length == 0) {
        logPrint(LOG_DEBUG, LOG_TAG, "Internal event format err!!!");
        return;
    }
    if (payload[0] != INTERNAL_SAVE_RECORDING) return;
    operatingMode = MODE_IDLE;
    uint8_t reply[2] = {MSG_RECORD_RESULT, STATUS_OK};
    const std::string name = rawFileName(recordGesture);
    SaveResult result;
    size_t size;
    {
        std::lock_guard<std::mutex> lock(recordBufferMutex);
        size = recordBuffer->size();
        result = appendRecording(name, *recordBuffer);
    }
    if (!result.opened) {
        logPrint(LOG_DEBUG, LOG_TAG, "raw_file_name open error.");
        reply[1] = STATUS_FAIL;
    } else if (result.written != size || !result.closed) {
        logPrint(LOG_DEBUG, LOG_TAG, "EMG raw data save failed: %zu of %zu bytes written to %s%s", result.written,
                 size, name.c_str(), result.closed ? "" : ", close failed");
        reply[1] = STATUS_FAIL;
    } else {
        logPrint(LOG_DEBUG, LOG_TAG, "EMG raw data saved: SUCCESS");
    }
    sendToClients(reply, sizeof reply);
}
