// GET /api/status: what the server knows right now.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "armband/kinvo_handle.h"
#include "client/ws_server.h"
#include "commands/protocol.h"
#include "core/operating_state.h"
#include "core/timer.h"
#ifdef EMG_VIRTUAL_ARMBAND
#include "sim/pad_hook.h"
#endif
#include "commands/evaluation_service.h"
#include "http/routes/routes.h"
#include "model/training.h"

namespace {

const char* modeName(int32_t mode) {
    switch (mode) {
        case MODE_RECORDING: return "recording";
        case MODE_IDENTIFYING: return "identifying";
        case MODE_GESTURE_STREAM: return "gesture-stream";
        default: return "idle";
    }
}

// The held armband's connection state; "none" until a scan has found one.
const char* armbandState(const std::shared_ptr<kv::Armband>& armband) {
    if (!armband) return "none";
    switch (armband->getConnectionState()) {
        case kv::STATE_CONNECTED: return "connected";
        case kv::STATE_CONNECTING: return "connecting";
        case kv::STATE_DISCONNECTING: return "disconnecting";
        default: return "found";
    }
}

// "none" before any generation, else the state of the latest evaluation, so that
// the page asks /api/evaluation only when there is something to see.
std::string evaluationState() {
    bool found = false;
    const std::string json = evaluationStatusJson(found);
    if (!found) return "none";
    for (const char* state : {"pending", "done", "failed"}) {
        if (json.find(std::string("\"state\":\"") + state + "\"") != std::string::npos) return state;
    }
    return "none";
}

std::string workingDirectory() {
    char path[PATH_MAX];
    return getcwd(path, sizeof path) ? path : "";
}

// The running recording and its time left by the server's clock; null when none.
std::string recordingJson(int32_t mode) {
    if (mode != MODE_RECORDING) return "null";
    const int64_t left = std::max<int64_t>(RECORD_LIMIT_MS - (steadyMs() - recordStartedAtMs.load()), 0);
    return "{\"gesture\":" + std::to_string(recordGesture.load()) + ",\"remainingMs\":" + std::to_string(left) + "}";
}

std::string uploadJson() {
    static const char* const states[] = {"none", "running", "done", "failed"};
    const int32_t state = uploadState;
    return "{\"state\":" + jsonString(states[state >= 0 && state <= 3 ? state : 0]) +
           ",\"progress\":" + std::to_string(uploadProgress.load()) + "}";
}

// The virtual armband's pad: the gesture its subject holds; null with a real SDK.
std::string padJson() {
#ifdef EMG_VIRTUAL_ARMBAND
    const int gesture = kv::sim::padGesture();
    return gesture < 0 ? "null" : "{\"gesture\":" + std::to_string(gesture) + "}";
#else
    return "null";
#endif
}

}  // namespace

HttpReply serveStatus(const Request&) {
    const std::shared_ptr<kv::Armband> armband = heldArmband();
    const int32_t mode = operatingMode;
#ifdef EMG_VIRTUAL_ARMBAND
    const bool virtualArmband = true;
#else
    const bool virtualArmband = false;
#endif
    std::string json = "{\"version\":" + jsonString(SERVER_VERSION);
    json += ",\"mode\":" + jsonString(modeName(mode)) + ",\"modeCode\":" + std::to_string(mode);
    json += ",\"armband\":{\"found\":" + std::string(armband ? "true" : "false");
    json += ",\"state\":" + jsonString(armbandState(armband)) + "}";
    json += ",\"channelMask\":" + std::to_string(channelMask.load());
    json += ",\"channels\":" + std::to_string(channelCount.load());
    json += ",\"gestureMask\":" + std::to_string(gestureMask.load());
    json += ",\"gestures\":" + std::to_string(gestureCount.load());
    json += ",\"recordGesture\":" + std::to_string(recordGesture.load());
    json += ",\"clients\":" + std::to_string(connectedClients());
    struct stat model {};
    json += ",\"model\":" + std::string(stat(MODEL_FILE_NAME, &model) == 0 ? "true" : "false");
    json += ",\"evaluation\":" + jsonString(evaluationState());
    json += ",\"dataDir\":" + jsonString(workingDirectory());
    json += ",\"virtualArmband\":" + std::string(virtualArmband ? "true" : "false");
    json += ",\"lastChannels\":" + (lastChannelCount > 0 ? std::to_string(lastChannelCount.load()) : "null");
    json += ",\"recording\":" + recordingJson(mode);
    json += ",\"upload\":" + uploadJson();
    json += ",\"watchers\":" + std::to_string(consoleWatchers.load());
    json += ",\"pad\":" + padJson() + "}";
    return jsonReply(200, json);
}
