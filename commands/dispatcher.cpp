#include "commands/dispatcher.h"

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

void fail(Reply& reply) {
    reply.push_back(STATUS_FAIL);
}

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
    lastChannelCount = channelCount.load();
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
    reply.push_back(REPLY_GESTURE_STREAM_STOP);
    if (operatingMode != MODE_GESTURE_STREAM) {
        reply.push_back(STATUS_BUSY);
        return;
    }
    operatingMode = MODE_IDLE;
    if (listener) listener->setDataNotifySwitch(NOTIFY_NONE);
    reply.push_back(STATUS_STOPPED);
}

// Appends bytes while the reply's length still fits its one-byte field; false once they do not.
bool appendWhole(Reply& reply, const uint8_t* bytes, size_t count) {
    if (reply.size() + count > MAX_SERVER_MESSAGE) return false;
    reply.insert(reply.end(), bytes, bytes + count);
    return true;
}

void appendText(Reply& reply, const std::string& text) {
    for (char c : text) {
        const uint8_t byte = static_cast<uint8_t>(c);
        if (!appendWhole(reply, &byte, 1)) return;
    }
}

// The armband's wide text as UTF-8, cut before the first character that does
// not fit whole (wide text of two-byte units is read as UTF-16).
void appendUtf8(Reply& reply, const std::wstring& text) {
    for (size_t k = 0; k < text.size(); ++k) {
        uint32_t code = static_cast<uint32_t>(text[k]);
        if (code >= 0xD800 && code < 0xDC00 && k + 1 < text.size()) {
            const uint32_t low = static_cast<uint32_t>(text[k + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                ++k;
            }
        }
        if ((code >= 0xD800 && code < 0xE000) || code > 0x10FFFF) code = 0xFFFD;  // not a character
        uint8_t bytes[4];
        size_t count;
        if (code < 0x80) {
            bytes[0] = static_cast<uint8_t>(code);
            count = 1;
        } else if (code < 0x800) {
            bytes[0] = static_cast<uint8_t>(0xC0 | (code >> 6));
            count = 2;
        } else if (code < 0x10000) {
            bytes[0] = static_cast<uint8_t>(0xE0 | (code >> 12));
            count = 3;
        } else {
            bytes[0] = static_cast<uint8_t>(0xF0 | (code >> 18));
            count = 4;
        }
        for (size_t b = 1; b < count; ++b)
            bytes[b] = static_cast<uint8_t>(0x80 | ((code >> (6 * (count - 1 - b))) & 0x3F));
        if (!appendWhole(reply, bytes, count)) return;
    }
}

void commandGetVersion(Reply& reply) {
    reply.push_back(CMD_GET_VERSION);
    std::map<std::string, std::wstring> versions;
    if (listener) versions = listener->queryVersions();
    appendText(reply, SERVER_VERSION);
    appendText(reply, "/");
    appendUtf8(reply, versions["FW"]);
    appendText(reply, "/");
    appendUtf8(reply, versions["HW"]);
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
