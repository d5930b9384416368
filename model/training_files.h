// The text form of one trained pair in "W&B.txt".
#pragma once

#include <cstdint>
#include <string>

#include "model/training.h"

// The channel weights each followed by a space, then the bias and the system's
// text line end, the numbers as printf's "%g" writes them.
void appendPairLine(std::string& out, const PairModel& model, uint32_t channels);
