#include "armband/hub_events.h"

#include "client/ws_server.h"
#include "commands/protocol.h"
#include "core/event_queue.h"
#include "core/logger.h"
#include "core/operating_state.h"

void postHubEvent(uint8_t code, uint8_t status) {
    eventQueue.push(makeRecord({HUB_EVT, code, status}));
}

namespace {

// Keeps what the clients are told of the model transfer, for the status route.
void noteUploadReport(const uint8_t* payload, uint8_t length) {
    if (length < 2) return;
    if (payload[0] == MSG_MODEL_UPDATE_PROGRESS) {
        uploadProgress = payload[1];
    } else if (payload[0] == MSG_MODEL_UPDATE_RESULT) {
        uploadState = payload[1] == STATUS_OK ? UPLOAD_DONE : UPLOAD_FAILED;
    }
}

}  // namespace

void handleHubEvents(const uint8_t* payload, uint8_t length) {
    logPrint(LOG_DEBUG, LOG_TAG, "handleHubEvents");
    if (length == 0) {
        logPrint(LOG_DEBUG, LOG_TAG, "Hub event format err!!!");
        return;
    }
    noteUploadReport(payload, length);
    sendToClients(payload, length);
}
