// The armband's gesture stream: GESTURE_STREAM_START and GESTURE_STREAM_STOP.
#include "armband/kinvo_handle.h"
#include "commands/branches.h"
#include "commands/protocol.h"
#include "core/operating_state.h"

void commandGestureStreamStart(Reply& reply) {
    reply.push_back(CMD_GESTURE_STREAM_START);
    if (operatingMode != MODE_IDLE) {
        reply.push_back(STATUS_BUSY);
        return;
    }
    operatingMode = MODE_GESTURE_STREAM;
    if (listener) listener->setDataNotifySwitch(NOTIFY_GESTURE);
}

void commandGestureStreamStop(Reply& reply) {
    reply.push_back(REPLY_GESTURE_STREAM_STOP);
    if (operatingMode != MODE_GESTURE_STREAM) {
        reply.push_back(STATUS_BUSY);
        return;
    }
    operatingMode = MODE_IDLE;
    if (listener) listener->setDataNotifySwitch(NOTIFY_NONE);
    reply.push_back(STATUS_STOPPED);
}
