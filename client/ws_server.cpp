#include "client/ws_server.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <memory>
#include <mutex>
#include <vector>

#include "client/client_list.h"
#include "client/connection_limits.h"
#include "client/listener.h"
#include "core/logger.h"
#include "core/operating_state.h"
#include "core/server_options.h"
#include "http/request_handler.h"

namespace net = boost::asio;

namespace {

// The server thread's loop. Never destroyed: the thread is detached and runs
// until the process ends.
net::io_context& serverContext() {
    static net::io_context* context = new net::io_context(1);
    return *context;
}

struct Outgoing {
    Message message;
    bool watchersOnly;
};

// Messages from other threads, waiting for the server thread.
std::mutex outboxMutex;
std::vector<Outgoing> outbox;

// The server thread's working copy of the outbox; it keeps its capacity, and
// trades storage with the outbox at every swap.
std::vector<Outgoing> batch;

void deliverOutbox() {
    {
        std::lock_guard<std::mutex> lock(outboxMutex);
        batch.swap(outbox);
    }
    for (const Outgoing& outgoing : batch) {
        if (outgoing.watchersOnly) deliverToWatchers(outgoing.message);
        else deliverToClients(outgoing.message);
    }
    batch.clear();
}

void post(const uint8_t* data, uint8_t length, bool watchersOnly) {
    auto message = std::make_shared<const std::vector<uint8_t>>(data, data + length);
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(outboxMutex);
        if (outbox.size() >= MAX_OUTBOX_MESSAGES) return;  // the server thread is stalled: drop
        wake = outbox.empty();  // else a delivery is already on its way
        outbox.push_back({std::move(message), watchersOnly});
    }
    if (wake) net::post(serverContext(), deliverOutbox);
}

}  // namespace

void serverThread() {
    net::io_context& context = serverContext();
    configureHttpSide(AccessPolicy{serverOptions.allowedHosts, serverOptions.allowedOrigins}, serverOptions.console);
    if (!listenOn(context, serverOptions.host, serverOptions.port)) {
        logPrint(LOG_DEBUG, LOG_TAG, "uWS failed to listen");
    } else if (!isLoopbackOnly(serverOptions.host)) {
        logPrint(LOG_DEBUG, LOG_TAG,
                 "%s, listening on %s: anyone who can reach port %d can drive the armband and read the recordings",
                 "serverThread", serverOptions.host.c_str(), serverOptions.port);
    }
    // The loop runs on when nothing listens, so that sends still have a home.
    auto keepRunning = net::make_work_guard(context);
    context.run();
}

void sendToClients(const uint8_t* data, uint8_t length) {
    if (connectedClients() == 0) return;  // nobody to send to: the message is lost
    post(data, length, false);
}

void sendToWatchers(const uint8_t* data, uint8_t length) {
    if (consoleWatchers <= 0) return;
    post(data, length, true);
}
