#include "sim/pad_hook.h"

#include <mutex>

#include "sim/simulation.h"
#include "sim/virtual_subject.h"

namespace kv::sim {

namespace {

std::mutex padMutex;  // guards padSimulation: the hub's thread sets it, the server thread reads it
std::weak_ptr<Simulation> padSimulation;

std::shared_ptr<Simulation> attached() {
    std::lock_guard<std::mutex> lock(padMutex);
    return padSimulation.lock();
}

}  // namespace

void attachPadSimulation(std::weak_ptr<Simulation> simulation) {
    std::lock_guard<std::mutex> lock(padMutex);
    padSimulation = std::move(simulation);
}

bool holdPadGesture(int gesture) {
    if (gesture < 0 || gesture > VirtualSubject::GESTURE_COUNT) return false;
    const std::shared_ptr<Simulation> simulation = attached();
    if (!simulation) return false;
    simulation->holdGesture(gesture);
    return true;
}

int padGesture() {
    const std::shared_ptr<Simulation> simulation = attached();
    return simulation ? simulation->status().gesture : -1;
}

}  // namespace kv::sim
