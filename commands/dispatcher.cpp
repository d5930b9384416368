#include "commands/dispatcher.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "armband/kinvo_handle.h"
#include "client/ws_server.h"
#include "commands/branches.h"
#include "commands/protocol.h"
#include "core/exit_application.h"
#include "core/logger.h"
#include "core/operating_state.h"

namespace {

void fail(Reply& reply) { reply.push_back(STATUS_FAIL); }

void commandPing(uint8_t length, Reply& reply) {
    reply.push_back(CMD_PING);
    reply.push_back(length == 1 ? STATUS_OK : STATUS_FAIL);
}

void commandScanStart(uint8_t length, Reply& reply) {
    reply.push_back(CMD_SCAN_START);
    if (length < 2) return fail(reply);
    const int result = hub ? hub->startScan(SCAN_MODE) : -1;
    if (result != 0) {
        logPrint(LOG_DEBUG, LOG_TAG, "scan starting failed: %d", result);
        fail(reply);
    }
}

void commandConnect(uint8_t length, Reply& reply) {
    reply.push_back(CMD_CONNECT);
    if (length != 1) return fail(reply);
    std::shared_ptr<kv::Armband> armband = heldArmband();
    if (!armband) return fail(reply);
    const int state = armband->getConnectionState();
    if (state == kv::STATE_CONNECTED || state == kv::STATE_CONNECTING) return fail(reply);
    if (armband->connect(1) != 0) fail(reply);
}

void commandDisconnect(uint8_t length, Reply& reply) {
    reply.push_back(CMD_DISCONNECT);
    if (length != 1) return fail(reply);
    std::shared_ptr<kv::Armband> armband = heldArmband();
    if (!armband || armband->getConnectionState() != kv::STATE_CONNECTED) return fail(reply);
    if (armband->disconnect() != 0) fail(reply);
}

void commandEmgRawConfig(const uint8_t* bytes, uint8_t length, Reply& reply) {
    reply.push_back(CMD_EMG_RAW_CONFIG);
    if (length != 3) return fail(reply);
    channelMask = bytes[1];
    channelCount = bitCount(bytes[1]);
    gestureMask = bytes[2];
    gestureCount = bitCount(bytes[2]);
    if (listener) listener->setEmgRawDataConfig(bytes[1]);
}

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
    reply.push_back(CMD_GESTURE_STREAM_START);
    if (operatingMode != MODE_GESTURE_STREAM) {
        reply.push_back(STATUS_BUSY);
        return;
    }
    operatingMode = MODE_IDLE;
    if (listener) listener->setDataNotifySwitch(NOTIFY_NONE);
    reply.push_back(STATUS_STOPPED);
}

// Narrow text of a version string; empty when it cannot be converted.
std::string narrowText(const std::wstring& text) {
    std::string buffer(text.size() * 4 + 1, '\0');
    const size_t written = std::wcstombs(&buffer[0], text.c_str(), buffer.size());
    if (written == static_cast<size_t>(-1)) return std::string();
    buffer.resize(written);
    return buffer;
}

void appendText(Reply& reply, const std::string& text) {
    for (char c : text) {
        if (reply.size() >= MAX_SERVER_MESSAGE) return;  // the reply's length travels as one byte
        reply.push_back(static_cast<uint8_t>(c));
    }
}

void commandGetVersion(Reply& reply) {
    reply.push_back(CMD_GET_VERSION);
    std::map<std::string, std::wstring> versions;
    if (listener) versions = listener->queryVersions();
    appendText(reply, SERVER_VERSION);
    appendText(reply, "/");
    appendText(reply, narrowText(versions["FW"]));
    appendText(reply, "/");
    appendText(reply, narrowText(versions["HW"]));
}

}  // namespace

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
