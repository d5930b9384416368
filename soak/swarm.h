// The background clients: each sends a command every 50-200 ms from the mix
// of swarm_actions, checks every message it receives against the protocol,
// and reconnects whenever its connection ends. A few threads serve them all.
// One of them only sends a 1 MiB message every 4-6 s and stays connected:
// the server keeps such a message's buffer for the connection's life, so
// this one client holds the largest buffer from its first message on.
#pragma once

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "soak/reply_rules.h"
#include "soak/report.h"

class Swarm {
public:
    Swarm(Report& report, VersionTexts versions, int clients, int threads);
    ~Swarm();
    void start();
    // Stops sending, closes every connection and joins the threads.
    void stop();

private:
    void serve(int index, int count);

    Report& report_;
    VersionTexts versions_;
    int clients_;
    int threadCount_;
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> threads_;
};
