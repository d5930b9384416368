#include "commands/recording.h"

#include <cstdio>

#include "armband/emg_routing.h"
#include "armband/kinvo_handle.h"
#include "client/ws_server.h"
#include "commands/branches.h"
#include "commands/protocol.h"
#include "core/data_files.h"
#include "core/event_queue.h"
#include "core/logger.h"
#include "core/operating_state.h"
#include "core/timer.h"
#include "platform/files.h"

namespace {

void switchStreams(uint32_t flags) {
    if (listener) listener->setDataNotifySwitch(flags);
}

enum SaveResult {
    SAVE_OK,
    SAVE_OPEN_FAILED,
    SAVE_WRITE_FAILED,
    SAVE_NOTHING_RECORDED,
};

// Appends the recording with one write. A write, flush or close that fails cuts
// the file back to its size before the save, so a failed save never leaves a
// partial recording in front of the next one. A symbolic link in place of the
// file is never opened.
SaveResult appendRecording(const std::string& name, const std::vector<uint8_t>& bytes) {
    // No packet arrived: the file is not touched, and the client hears of a failure, not of a save.
    if (bytes.empty()) return SAVE_NOTHING_RECORDED;
    std::FILE* file = nullptr;
    if (!platform::openForAppending(name, file)) return SAVE_OPEN_FAILED;
    uint64_t sizeBefore = 0;
    const bool sized = platform::fileSize(file, sizeBefore);
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    // The stdio buffer may have taken every byte: only the flush shows whether they reached the file.
    written = platform::flushToDisk(file) && written;
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return SAVE_OK;
    if (sized && !platform::cutFile(name, sizeBefore)) {
        // Nothing more can be done; the save is reported as failed either way.
    }
    return SAVE_WRITE_FAILED;
}

}  // namespace

void commandRecordStart(const uint8_t* bytes, uint8_t length, Reply& reply) {
    reply.push_back(CMD_RECORD_START);
    // Without a channel configuration (none since start-up or since the last
    // disconnection) the armband streams nothing: a recording would save nothing.
    if (length != 2 || operatingMode != MODE_IDLE || channelMask == 0) {
        reply.push_back(STATUS_FAIL);
        return;
    }
    const uint8_t gesture = bytes[1];
    const std::shared_ptr<kv::Armband> armband = heldArmband();
    recordGesture = gesture;
    {
        std::lock_guard<std::mutex> lock(recordBufferMutex);
        recordBuffer->clear();
    }
    operatingMode = MODE_RECORDING;
    switchStreams(NOTIFY_EMG_RAW);  // blocks until the armband answers
    recordTimer.stop();
    timerId = TIMER_ID_RECORD_LIMIT;
    recordStartedAtMs = steadyMs();
    recordTimer.start(recordTimerExpired, RECORD_LIMIT_MS);
    // A disconnection while the switch waited has reset the recording. Checked
    // after arming: a disconnection from now on finds the timer armed and stops it.
    if (operatingMode == MODE_RECORDING && recordGesture == gesture && heldArmband() == armband) return;
    recordTimer.stop();
    timerId = TIMER_ID_NONE;
    reply.push_back(STATUS_FAIL);
}

void commandRecordStop(uint8_t length, Reply& reply) {
    reply.push_back(REPLY_RECORD_STOP);
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
    switch (result) {
        case SAVE_OPEN_FAILED:
            if (platform::isSymbolicLink(name)) {
                logPrint(LOG_DEBUG, LOG_TAG, "%s is a symbolic link: not written", name.c_str());
            }
            // Kept word for word (it names no file): log readers match on this text.
            logPrint(LOG_DEBUG, LOG_TAG, "raw_file_name open error.");
            reply[1] = STATUS_FAIL;
            break;
        case SAVE_WRITE_FAILED:
            logPrint(LOG_DEBUG, LOG_TAG, "EMG raw data save failed: %zu bytes not stored in %s", size, name.c_str());
            reply[1] = STATUS_FAIL;
            break;
        case SAVE_NOTHING_RECORDED:
            logPrint(LOG_DEBUG, LOG_TAG, "EMG raw data save failed: no data arrived for %s", name.c_str());
            reply[1] = STATUS_FAIL;
            break;
        case SAVE_OK: logPrint(LOG_DEBUG, LOG_TAG, "EMG raw data saved: SUCCESS"); break;
    }
    sendToClients(reply, sizeof reply);
}
