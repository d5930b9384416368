#include "client/client_list.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "client/ws_server.h"
#include "core/event_queue.h"
#include "core/logger.h"
#include "core/operating_state.h"

namespace {

std::vector<std::shared_ptr<WebSocketClient>> clientSockets;  // server thread only
// Written by the server thread after the log line, so that a thread that sees
// the count change knows the line is written.
std::atomic<int> clientCount{0};

int watcherCount = 0;  // server thread only

void countWatcher(int change) {
    watcherCount += change;
    consoleWatchers = watcherCount;
    eventQueue.push(makeRecord({WATCH_EVT}));
}

}  // namespace

void addClient(const std::shared_ptr<WebSocketClient>& client) {
    clientSockets.push_back(client);
    const int count = static_cast<int>(clientSockets.size());
    logPrint(LOG_DEBUG, LOG_TAG, "uWS connect, clients(%d)", count);
    clientCount = count;
    if (client->watcher()) countWatcher(+1);
}

void removeClient(const WebSocketClient* client) {
    const bool listed = std::any_of(clientSockets.begin(), clientSockets.end(),
                                    [client](const auto& entry) { return entry.get() == client; });
    clientSockets.erase(std::remove_if(clientSockets.begin(), clientSockets.end(),
                                       [client](const auto& entry) { return entry.get() == client; }),
                        clientSockets.end());
    const int count = static_cast<int>(clientSockets.size());
    logPrint(LOG_DEBUG, LOG_TAG, "uWS disconnect, clients(%d)", count);
    clientCount = count;
    if (listed && client->watcher()) countWatcher(-1);
}

void deliverToWatchers(const Message& message) {
    for (const auto& client : clientSockets)
        if (client->watcher()) client->deliver(message);
}

void deliverToClients(const Message& message) {
    // A client dropped here leaves the list only later, when its pending read
    // ends, so the list does not change during the walk.
    for (const auto& client : clientSockets) client->deliver(message);
}

int connectedClients() {
    return clientCount;
}
