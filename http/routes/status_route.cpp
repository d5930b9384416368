// GET /api/status: what the server knows right now.
#include <unistd.h>

#include <climits>

#include "armband/kinvo_handle.h"
#include "client/ws_server.h"
#include "commands/protocol.h"
#include "core/operating_state.h"
#include "http/http_response.h"
#include "http/routes/routes.h"

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

std::string workingDirectory() {
    char path[PATH_MAX];
    return getcwd(path, sizeof path) ? path : "";
}

}  // namespace

void serveStatus(uWS::HttpResponse* response, const Request&) {
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
    json += ",\"dataDir\":" + jsonString(workingDirectory());
    json += ",\"virtualArmband\":" + std::string(virtualArmband ? "true" : "false") + "}";
    sendJson(response, 200, json);
}
