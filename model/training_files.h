// The text form of one trained pair in "W&B.txt".
#pragma once

#include <cstdint>
#include <ostream>

#include "model/training.h"

// The channel weights each followed by a space, then the bias and a line break,
// in the stream's default float formatting.
void writePairLine(std::ostream& out, const PairModel& model, uint32_t channels);
