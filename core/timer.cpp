#include "core/timer.h"

#include <algorithm>

#include "core/event_queue.h"
#include "core/logger.h"

// Defined together so that the manager is built before, and destroyed after,
// the timer it runs.
TimerManager timerManager;
Timer recordTimer(&timerManager);
std::atomic<uint8_t> timerId{TIMER_ID_NONE};

Timer::Timer(TimerManager* manager) : manager_(manager) {}

Timer::~Timer() {
    stop();
}

bool Timer::start(Callback callback, uint32_t intervalMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_) {
        logPrint(LOG_DEBUG, LOG_TAG, "Error: Timer is running.");
        return false;
    }
    expiry_ = Clock::now() + std::chrono::milliseconds(intervalMs);
    callback_ = std::move(callback);
    return manager_->add(this);
}

bool Timer::stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_) manager_->remove(this);
    return !running_;
}

TimerManager::~TimerManager() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(heapMutex_);
        running_ = false;
    }
    wake_.notify_all();
    thread_.join();
}

bool TimerManager::add(Timer* timer) {
    std::call_once(threadStarted_, [this] { thread_ = std::thread(&TimerManager::run, this); });
    std::lock_guard<std::mutex> lock(heapMutex_);
    if (std::find(heap_.begin(), heap_.end(), timer) != heap_.end()) return false;
    const bool newTop = heap_.empty() || timer->expiry_ < heap_.front()->expiry_;
    heap_.push_back(timer);
    std::push_heap(heap_.begin(), heap_.end(), later);
    // Set under the heap mutex, so that a timer that fires at once is seen
    // running here before the thread clears the flag.
    timer->running_ = true;
    if (newTop) wake_.notify_all();
    return true;
}

bool TimerManager::remove(Timer* timer) {
    std::lock_guard<std::mutex> lock(heapMutex_);
    const auto it = std::find(heap_.begin(), heap_.end(), timer);
    if (it == heap_.end()) return false;
    const bool wasTop = it == heap_.begin();
    heap_.erase(it);
    std::make_heap(heap_.begin(), heap_.end(), later);
    timer->running_ = false;
    if (wasTop) wake_.notify_all();
    return true;
}

void TimerManager::run() {
    std::unique_lock<std::mutex> lock(heapMutex_);
    while (running_) {
        const auto now = Timer::Clock::now();
        if (heap_.empty()) {
            wake_.wait(lock);
            continue;
        }
        Timer* top = heap_.front();
        if (top->expiry_ > now) {
            // A copy: wait_until reads its deadline again after waking, when the
            // timer may have been stopped and destroyed.
            const Timer::Clock::time_point expiry = top->expiry_;
            wake_.wait_until(lock, expiry);
            continue;
        }
        std::pop_heap(heap_.begin(), heap_.end(), later);
        heap_.pop_back();
        // The callback is only replaced by start(), which refuses while running
        // is still set, so it can be read here without the timer's mutex.
        Timer::Callback callback = top->callback_;
        top->running_ = false;
        lock.unlock();
        if (callback) callback();
        lock.lock();
    }
}

void recordTimerExpired() {
    EventRecord record = makeRecord({TIMER_EVT, timerId.load()});
    timerId = TIMER_ID_NONE;
    eventQueue.push(std::move(record));
}
