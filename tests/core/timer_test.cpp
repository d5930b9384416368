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

// Two timers of one manager, each with its own counter.
class Timers : public ::testing::Test {
protected:
    TimerManager manager;
    Timer timer{&manager}, other{&manager};
    FireCounter counter, otherCounter;
};

}  // namespace

TEST_F(Timers, FireOnceAfterTheirInterval) {
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

TEST_F(Timers, StopBeforeExpiryPreventsTheCallback) {
    ASSERT_TRUE(timer.start(counter.callback(), 100));
    EXPECT_TRUE(timer.stop());
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(counter.value(), 0);
    EXPECT_TRUE(timer.stop()) << "stopping an idle timer changes nothing";
}

TEST_F(Timers, SecondStartIsRefusedAndTheFirstExpiryStands) {
    ASSERT_TRUE(timer.start(counter.callback(), 50));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(timer.start(otherCounter.callback(), 10));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Error: Timer is running."), std::string::npos);
    EXPECT_TRUE(counter.waitFor(1, 5s));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(otherCounter.value(), 0);
}

TEST_F(Timers, AnEarlierTimerWakesTheManager) {
    ASSERT_TRUE(other.start(otherCounter.callback(), 60000));
    std::this_thread::sleep_for(20ms);  // the manager is now asleep until the late expiry
    ASSERT_TRUE(timer.start(counter.callback(), 20));
    EXPECT_TRUE(counter.waitFor(1, 5s));
    EXPECT_EQ(otherCounter.value(), 0);
    EXPECT_TRUE(other.stop());
}

TEST_F(Timers, StoppingTheTopTimerLetsTheNextOneFire) {
    ASSERT_TRUE(timer.start(counter.callback(), 30));
    ASSERT_TRUE(other.start(otherCounter.callback(), 60));
    EXPECT_TRUE(timer.stop());
    EXPECT_TRUE(otherCounter.waitFor(1, 5s));
    EXPECT_EQ(counter.value(), 0);
}

TEST_F(Timers, ATimerStoppedAndFreedWhileTheManagerWaitsForItIsNotReadAgain) {
    for (int k = 0; k < 20; ++k) {
        auto waitedFor = std::make_unique<Timer>(&manager);
        ASSERT_TRUE(waitedFor->start(otherCounter.callback(), 60000));
        std::this_thread::sleep_for(5ms);  // the manager now sleeps until its expiry
        EXPECT_TRUE(waitedFor->stop());
        waitedFor.reset();  // the manager wakes for the removal and must not look at it
    }
    ASSERT_TRUE(timer.start(counter.callback(), 1));
    EXPECT_TRUE(counter.waitFor(1, 5s));
}

TEST(RecordTimer, ExpiryQueuesTheTimerEventAndClearsTheId) {
    timerId = TIMER_ID_RECORD_LIMIT;
    ASSERT_TRUE(recordTimer.start(recordTimerExpired, 10));
    EventRecord record = eventQueue.pop();
    EXPECT_EQ(*record, (std::vector<uint8_t>{TIMER_EVT, TIMER_ID_RECORD_LIMIT}));
    EXPECT_EQ(timerId.load(), TIMER_ID_NONE);
}
