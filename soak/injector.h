// Faults that do not disturb the conductor's bookkeeping, injected through
// the control endpoint every 0.5-2.5 s from a thread of their own: hub states
// other than 3, device status reports, armband gestures, reseeding, and
// failed or silent version queries.
#pragma once

#include <atomic>
#include <thread>

#include "soak/report.h"

class Injector {
public:
    explicit Injector(Report& report) : report_(report) {}
    ~Injector() { stop(); }
    void start();
    void stop();

private:
    void run();
    Report& report_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
