#include "core/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "core/event_queue.h"

namespace {

using namespace std::chrono_literals;

// Counts firings and lets a test wait for them.
struct FireCounter {
    std::mutex mutex;
    std::condition_variable fired;
    int count = 0;

    Timer::Callback callback() {
        // Notified under the lock: a waiter that sees the count may destroy the
        // counter as soon as it returns, so the notification must be over by then.
        return [this] {
            std::lock_guard<std::mutex> lock(mutex);
            ++count;
            fired.notify_all();
        };
    }
    bool waitFor(int expected, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex);
        return fired.wait_for(lock, limit, [&] { return count >= expected; });
    }
    int value() {
        std::lock_guard<std::mutex> lock(mutex);
        return count;
    }
};

}  // namespace

TEST(Timer, FiresOnceAfterItsInterval) {
    TimerManager manager;
    Timer timer(&manager);
    FireCounter counter;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(timer.start(counter.callback(), 50));
    ASSERT_TRUE(counter.waitFor(1, 5s));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 50ms);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(counter.value(), 1);
    // Fired and idle again: it can be armed anew, even when it fires at once.
    for (int k = 2; k <= 2000; ++k) {
        ASSERT_TRUE(timer.start(counter.callback(), 0)) << "start " << k;
        ASSERT_TRUE(counter.waitFor(k, 5s));
    }
}

TEST(Timer, StopBeforeExpiryPreventsTheCallback) {
    TimerManager manager;
    Timer timer(&manager);
    FireCounter counter;
    ASSERT_TRUE(timer.start(counter.callback(), 100));
    EXPECT_TRUE(timer.stop());
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(counter.value(), 0);
    EXPECT_TRUE(timer.stop()) << "stopping an idle timer changes nothing";
}

TEST(Timer, SecondStartIsRefusedAndTheFirstExpiryStands) {
    TimerManager manager;
    Timer timer(&manager);
    FireCounter first;
    FireCounter second;
    ASSERT_TRUE(timer.start(first.callback(), 50));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(timer.start(second.callback(), 10));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Error: Timer is running."), std::string::npos);
    EXPECT_TRUE(first.waitFor(1, 5s));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(second.value(), 0);
}

TEST(Timer, AnEarlierTimerWakesTheManager) {
    TimerManager manager;
    Timer late(&manager);
    Timer early(&manager);
    FireCounter lateCounter;
    FireCounter earlyCounter;
    ASSERT_TRUE(late.start(lateCounter.callback(), 60000));
    std::this_thread::sleep_for(20ms);  // the manager is now asleep until the late expiry
    ASSERT_TRUE(early.start(earlyCounter.callback(), 20));
    EXPECT_TRUE(earlyCounter.waitFor(1, 5s));
    EXPECT_EQ(lateCounter.value(), 0);
    EXPECT_TRUE(late.stop());
}

TEST(Timer, StoppingTheTopTimerLetsTheNextOneFire) {
    TimerManager manager;
    Timer first(&manager);
    Timer second(&manager);
    FireCounter firstCounter;
    FireCounter secondCounter;
    ASSERT_TRUE(first.start(firstCounter.callback(), 30));
    ASSERT_TRUE(second.start(secondCounter.callback(), 60));
    EXPECT_TRUE(first.stop());
    EXPECT_TRUE(secondCounter.waitFor(1, 5s));
    EXPECT_EQ(firstCounter.value(), 0);
}

TEST(Timer, ATimerStoppedAndFreedWhileTheManagerWaitsForItIsNotReadAgain) {
    TimerManager manager;
    for (int k = 0; k < 20; ++k) {
        auto waitedFor = std::make_unique<Timer>(&manager);
        FireCounter unused;
        ASSERT_TRUE(waitedFor->start(unused.callback(), 60000));
        std::this_thread::sleep_for(5ms);  // the manager now sleeps until its expiry
        EXPECT_TRUE(waitedFor->stop());
        waitedFor.reset();  // the manager wakes for the removal and must not look at it
    }
    Timer next(&manager);
    FireCounter counter;
    ASSERT_TRUE(next.start(counter.callback(), 1));
    EXPECT_TRUE(counter.waitFor(1, 5s));
}

TEST(RecordTimer, ExpiryQueuesTheTimerEventAndClearsTheId) {
    timerId = TIMER_ID_RECORD_LIMIT;
    ASSERT_TRUE(recordTimer.start(recordTimerExpired, 10));
    EventRecord record = eventQueue.pop();
    EXPECT_EQ(*record, (std::vector<uint8_t>{TIMER_EVT, TIMER_ID_RECORD_LIMIT}));
    EXPECT_EQ(timerId.load(), TIMER_ID_NONE);
}
