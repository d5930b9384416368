// The WebSocket server thread in this test process, on a free port, started
// once; nothing pops the event queue unless a test does.
#pragma once

#include <gtest/gtest.h>

#include <thread>

#include "client/ws_server.h"
#include "core/server_options.h"
#include "tools/client_kit/server_process.h"
#include "tools/client_kit/ws_client.h"

inline void ensureServer() {
    static bool started = [] {
        serverOptions.port = pickFreePort();
        std::thread(serverThread).detach();
        WsClient probe;
        return probe.connect(serverOptions.port, 5000);
    }();
    ASSERT_TRUE(started);
}

inline bool waitForClients(int count) {
    const int64_t deadline = nowMs() + 3000;
    while (connectedClients() != count && nowMs() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return connectedClients() == count;
}
