// The server's in-process way to the virtual subject, for the web console's
// pad (hold a gesture without the control endpoint). Not part of the hub interface.
#pragma once

#include <memory>

namespace kv::sim {

class Simulation;

// Makes the subject of the initialised hub hold gesture 1..8, or rest (0).
// False when no hub is initialised or the gesture is out of range.
bool holdPadGesture(int gesture);
// The gesture the subject holds now; -1 when no hub is initialised.
int padGesture();

// The hub's simulation while it is initialised (SimHub::init), none after shutdown.
void attachPadSimulation(std::weak_ptr<Simulation> simulation);

}  // namespace kv::sim
