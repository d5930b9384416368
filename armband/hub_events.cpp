#include "armband/hub_events.h"

#include "client/ws_server.h"
#include "core/event_queue.h"
#include "core/logger.h"

void postHubEvent(uint8_t code, uint8_t status) {
    eventQueue.push(makeRecord({HUB_EVT, code, status}));
}

void handleHubEvents(const uint8_t* payload, uint8_t length) {
    logPrint(LOG_DEBUG, LOG_TAG, "handleHubEvents");
    if (length == 0) {
        logPrint(LOG_DEBUG, LOG_TAG, "Hub event format err!!!");
        return;
    }
    sendToClients(payload, length);
}
