// One-shot timers run by a TimerManager on its own thread. Expiries are
// measured on the steady clock, so a change of the wall clock does not move
// a recording's end.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TimerManager;

class Timer {
public:
    using Clock = std::chrono::steady_clock;
    using Callback = std::function<void()>;

    explicit Timer(TimerManager* manager);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Arms the timer; false (with a log line) when it is already armed or firing.
    bool start(Callback callback, uint32_t intervalMs);
    // True when the timer is not armed afterwards; false while it is firing.
    bool stop();

private:
    friend class TimerManager;
    std::mutex mutex_;  // guards start and stop; always taken before the manager's
    std::atomic<bool> running_{false};
    Clock::time_point expiry_{};
    Callback callback_;
    TimerManager* manager_;
};

class TimerManager {
public:
    TimerManager() = default;
    ~TimerManager();
    TimerManager(const TimerManager&) = delete;
    TimerManager& operator=(const TimerManager&) = delete;

    // Both change the timer's running flag under the heap mutex, the one the
    // timer thread clears it under when the timer fires.
    bool add(Timer* timer);
    bool remove(Timer* timer);

private:
    void run();
    static bool later(const Timer* a, const Timer* b) { return a->expiry_ > b->expiry_; }

    std::atomic<bool> running_{true};
    std::once_flag threadStarted_;
    std::thread thread_;
    std::mutex heapMutex_;  // guards heap_; the thread waits on it, so no wake-up is lost
    std::condition_variable wake_;
    std::vector<Timer*> heap_;  // min-heap on expiry
};

enum TimerPurpose : uint8_t {
    TIMER_ID_NONE = 0,
    TIMER_ID_RECORD_LIMIT = 1,
};
constexpr uint32_t RECORD_LIMIT_MS = 30000;

extern TimerManager timerManager;
extern Timer recordTimer;
extern std::atomic<uint8_t> timerId;

// The recording timer's callback: pushes [TIMER_EVT, timerId] and clears timerId.
void recordTimerExpired();
