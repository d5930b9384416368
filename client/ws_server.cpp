#include "client/ws_server.h"

#include <uWS.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "core/event_queue.h"
#include "core/logger.h"
#include "core/server_options.h"
#include "http/http_server.h"

namespace {

using ServerSocket = uWS::WebSocket<uWS::SERVER>;
using Message = std::shared_ptr<std::vector<uint8_t>>;

std::mutex clientSocketsMutex;
std::vector<ServerSocket*> clientSockets;  // in order of connection
std::atomic<int> clientCount{0};

// Messages waiting for the server thread, and the handle that wakes its loop.
std::mutex outboxMutex;
std::vector<Message> outbox;
std::atomic<Async*> outboxWakeup{nullptr};

// The server thread's working copies of the outbox and of the client list. They
// live as long as the thread and keep their capacity, so that a wake-up
// allocates nothing beyond the messages themselves: the batch and the outbox
// trade their storage at every swap.
std::vector<Message> batch;
std::vector<ServerSocket*> sockets;

void sendPending(Async*) {
    {
        std::lock_guard<std::mutex> lock(outboxMutex);
        batch.swap(outbox);
    }
    // Only this thread changes the list, so a copy taken under the lock stays
    // valid while the sends run without it.
    {
        std::lock_guard<std::mutex> lock(clientSocketsMutex);
        sockets.assign(clientSockets.begin(), clientSockets.end());
    }
    // uWS copies the payload with memcpy, which must not be given a null
    // pointer even for no bytes; an empty vector's data() may be null.
    static const char noBytes = 0;
    for (const Message& message : batch) {
        const char* bytes = message->empty() ? &noBytes : reinterpret_cast<const char*>(message->data());
        for (ServerSocket* socket : sockets) {
            socket->send(bytes, message->size(), uWS::OpCode::BINARY);
        }
    }
    batch.clear();  // releases the messages; the storage goes back to the outbox at the next swap
}

void onMessage(ServerSocket*, char* message, size_t length, uWS::OpCode opCode) {
    logPrint(LOG_DEBUG, LOG_TAG, "uWS received msg, length(%d) opCode(%d)", static_cast<int>(length),
             static_cast<int>(opCode));
    eventQueue.push(makeRecord(APP_CLIENT_EVT, reinterpret_cast<const uint8_t*>(message), length));
}

void onConnection(ServerSocket* socket, uWS::HttpRequest) {
    int count;
    {
        std::lock_guard<std::mutex> lock(clientSocketsMutex);
        clientSockets.push_back(socket);
        count = static_cast<int>(clientSockets.size());
    }
    // The count is published after the log line, so a thread that sees it
    // change knows the line is written.
    logPrint(LOG_DEBUG, LOG_TAG, "uWS connect, clients(%d)", count);
    clientCount = count;
}

void onDisconnection(ServerSocket* socket, int, char*, size_t) {
    int count;
    {
        std::lock_guard<std::mutex> lock(clientSocketsMutex);
        clientSockets.erase(std::remove(clientSockets.begin(), clientSockets.end(), socket), clientSockets.end());
        count = static_cast<int>(clientSockets.size());
    }
    logPrint(LOG_DEBUG, LOG_TAG, "uWS disconnect, clients(%d)", count);
    clientCount = count;
}

}  // namespace

void serverThread() {
    uWS::Hub server(0, false, MAX_CLIENT_MESSAGE);
    server.onMessage(onMessage);
    server.onConnection(onConnection);
    server.onDisconnection(onDisconnection);
    attachHttpSide(server, AccessPolicy{serverOptions.allowedHosts, serverOptions.allowedOrigins},
                   serverOptions.console);

    // The wake-up handle also keeps the loop running when listen fails.
    auto* wakeup = new Async(server.getLoop());
    wakeup->start(sendPending);
    outboxWakeup = wakeup;

    const char* host = serverOptions.host.empty() ? nullptr : serverOptions.host.c_str();
    if (!server.listen(host, serverOptions.port, nullptr, 0)) {
        logPrint(LOG_DEBUG, LOG_TAG, "uWS failed to listen");
    }
    server.run();
    outboxWakeup = nullptr;
}

void sendToClients(const uint8_t* data, uint8_t length) {
    Async* wakeup = outboxWakeup;
    if (!wakeup || clientCount == 0) return;  // nobody to send to: the message is lost
    auto message = std::make_shared<std::vector<uint8_t>>(data, data + length);
    {
        std::lock_guard<std::mutex> lock(outboxMutex);
        outbox.push_back(std::move(message));
    }
    wakeup->send();
}

int connectedClients() {
    return clientCount;
}
