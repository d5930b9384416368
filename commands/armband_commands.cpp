// The armband's connection and stream set-up: SCAN_START, CONNECT, DISCONNECT,
// EMG_RAW_CONFIG. Each starts an SDK operation whose outcome comes later as a
// hub event; the reply here only refuses what cannot start.
#include "armband/kinvo_handle.h"
#include "commands/branches.h"
#include "commands/protocol.h"
#include "core/logger.h"
#include "core/operating_state.h"

namespace {

void fail(Reply& reply) {
    reply.push_back(STATUS_FAIL);
}

}  // namespace

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
