// The load beside the conductor: background clients, one thread each, that send something
// every 50-200 ms (valid, malformed and oversized commands, malformed raw frames), check every
// message they receive against the protocol and reconnect when their connection ends; and
// faults through the control endpoint that leave the conductor's bookkeeping alone.
#pragma once

#include <atomic>
#include <thread>
#include <vector>

#include "soak/report.h"
#include "soak/rules.h"

class Background {
public:
    Background(Report& report, VersionTexts versions) : report_(report), versions_(std::move(versions)) {}
    ~Background() { stop(); }
    void start(int clients);
    void stop();

private:
    void client(unsigned index);
    void injectFaults();
    void pause(int ms) const;  // less when stopping
    Report& report_;
    VersionTexts versions_;
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> threads_;
};
