// Hands each client command to its handler (commands/branches.h says which
// file holds each) and sends the reply to every client.
#include "commands/dispatcher.h"

#include "client/ws_server.h"
#include "commands/branches.h"
#include "commands/protocol.h"
#include "core/exit_application.h"
#include "core/logger.h"

void handleClientCommands(const uint8_t* bytes, uint8_t length) {
    logPrint(LOG_DEBUG, LOG_TAG, "handleClientCommands");
    if (length == 0) return;
    Reply reply;
    switch (bytes[0]) {
        case CMD_PING: commandPing(length, reply); break;
        case CMD_SCAN_START: commandScanStart(length, reply); break;
        case CMD_CONNECT: commandConnect(length, reply); break;
        case CMD_DISCONNECT: commandDisconnect(length, reply); break;
        case CMD_EMG_RAW_CONFIG: commandEmgRawConfig(bytes, length, reply); break;
        case CMD_RECORD_START: commandRecordStart(bytes, length, reply); break;
        case CMD_RECORD_STOP: commandRecordStop(length, reply); break;
        case CMD_IDENTIFY_START: commandIdentifyStart(length, reply); break;
        case CMD_IDENTIFY_STOP: commandIdentifyStop(length, reply); break;
        case CMD_MODEL_GENERATE: commandModelGenerate(length, reply); break;
        case CMD_MODEL_GENERATE_STOP: commandModelGenerateStop(length, reply); break;
        case CMD_MODEL_UPDATE: commandModelUpdate(length, reply); break;
        case CMD_MODEL_UPDATE_STOP: commandModelUpdateStop(length, reply); break;
        case CMD_GESTURE_STREAM_START: commandGestureStreamStart(reply); break;
        case CMD_GESTURE_STREAM_STOP: commandGestureStreamStop(reply); break;
        case CMD_GET_VERSION: commandGetVersion(reply); break;
        case CMD_EXIT: exitApplication(); break;
        default: break;
    }
    if (reply.size() >= 2) sendToClients(reply.data(), static_cast<uint8_t>(reply.size()));
}
