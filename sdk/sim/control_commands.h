// The control endpoint's command language: one command line in, one answer
// line out ("ok", "ok DATA" or "error REASON"). A command that is not
// understood changes nothing.
#pragma once

#include <string>

#include "sim/simulation.h"

namespace kv::sim {

class ControlCommands {
public:
    explicit ControlCommands(Simulation& simulation) : simulation_(simulation) {}

    // `line` comes without its line end; the answer too.
    std::string execute(const std::string& line);

private:
    Simulation& simulation_;
};

// The answer to "status": one line of JSON.
std::string statusJson(const SimulationStatus& status);

}  // namespace kv::sim
