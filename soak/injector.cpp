#include "soak/injector.h"

#include <random>
#include <string>

#include "tools/client_kit/ws_client.h"

namespace {

constexpr int PAUSE_MIN_MS = 500;
constexpr int PAUSE_SPREAD_MS = 2000;
constexpr int64_t MUTE_SPACING_MS = 10000;
// Hub states the server only logs; 3 would end it.
constexpr int HUB_STATES[] = {0, 1, 2, 4, 5, 6, 7, 8, 255, 256, -1, -3, 1000, 2147483647};

struct Fault {
    std::string line;
    std::string kind;
};

Fault nextFault(std::minstd_rand& random) {
    const uint32_t roll = static_cast<uint32_t>(random() % 100);
    const std::string n = std::to_string(random() % 256);
    if (roll < 30) {
        return {"hub-state " + std::to_string(HUB_STATES[random() % (sizeof HUB_STATES / sizeof HUB_STATES[0])]),
                "hub-state (not 3)"};
    }
    if (roll < 55) return {"device-status " + n, "device-status"};
    if (roll < 65) return {"armband-gesture " + n, "armband-gesture"};
    if (roll < 70) return {"seed " + std::to_string(random()), "seed"};
    if (roll < 80) return {"fail hw " + std::to_string(1 + random() % 3) + " " + std::to_string(1 + random() % 9), "fail hw"};
    if (roll < 90) return {"fail fw " + std::to_string(1 + random() % 3) + " " + std::to_string(1 + random() % 9), "fail fw"};
    if (roll < 95) return {"mute hw", "mute hw"};
    return {"mute fw", "mute fw"};
}

}  // namespace

void Injector::start() { thread_ = std::thread(&Injector::run, this); }

void Injector::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
}

void Injector::run() {
    std::minstd_rand random(std::random_device{}());
    ControlClient control;
    int64_t lastMuteMs = 0;
    while (!stopping_) {
        const int64_t until = nowMs() + PAUSE_MIN_MS + static_cast<int>(random() % PAUSE_SPREAD_MS);
        while (!stopping_ && nowMs() < until) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (stopping_) break;
        Fault fault = nextFault(random);
        if (fault.kind.rfind("mute", 0) == 0) {
            // A silent query blocks the main loop for 3 s; one at a time.
            if (nowMs() - lastMuteMs < MUTE_SPACING_MS) continue;
            lastMuteMs = nowMs();
        }
        std::string answer = control.command(fault.line);
        if (answer.empty() && control.connect()) answer = control.command(fault.line);
        // armband-gesture is refused while gesture notifications are off: not a fault then.
        const bool refusedGesture = fault.kind == "armband-gesture" && answer.rfind("error gesture notifications", 0) == 0;
        if (answer != "ok" && !refusedGesture) {
            report_.violation("control endpoint takes the background faults",
                              "'" + fault.line + "' answered '" + answer + "'");
        }
        if (answer == "ok") report_.count("fault: " + fault.kind);
    }
}
