// Runs independent tasks on as many threads as the machine has cores.
#pragma once

#include <cstddef>
#include <functional>

// Calls task(0) .. task(count - 1), each once, on up to hardware-concurrency
// threads (the calling thread among them), and returns when all have returned.
// Tasks are taken in index order. Keeps no state between calls, so any thread
// may call it, also concurrently. The first exception of a task is rethrown
// once every thread has finished.
void parallelFor(size_t count, const std::function<void(size_t)>& task);
