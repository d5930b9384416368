// Peak of the live heap bytes allocated through operator new by all threads
// (the programs that link heap_peak.cpp replace the global operator new), so a
// benchmark can report how much memory a call needed at most.
#pragma once

#include <cstddef>

// Starts a new peak at the bytes live now; returns them.
size_t resetHeapPeak();
size_t heapPeakBytes();
