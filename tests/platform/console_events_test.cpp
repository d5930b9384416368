// The console events as the system delivers them: every event reaches the
// handler with its own number, and a handled close, logoff or shutdown holds
// the system's routine until the orderly end (on Windows, the process ends
// when the routine returns).
#include "platform/console_events.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

std::atomic<int> lastEvent{-1};
std::atomic<bool> handles{true};

bool recordEvent(int event) {
    lastEvent = event;
    return handles;
}

class ConsoleEvents : public ::testing::Test {
protected:
    void SetUp() override {
        lastEvent = -1;
        handles = true;
        ASSERT_TRUE(platform::watchConsoleEvents(recordEvent));
    }
    void TearDown() override { platform::unwatchConsoleEvents(); }
};

TEST_F(ConsoleEvents, EachEventReachesTheHandlerWithItsNumber) {
    // Ctrl+C 0, Ctrl+Break 1: the system's numbers, which the handler's switch uses.
    for (int event : {0, 1}) {
        EXPECT_TRUE(platform::deliverConsoleEvent(event));
        EXPECT_EQ(lastEvent, event);
    }
    handles = false;
    EXPECT_FALSE(platform::deliverConsoleEvent(1));  // passed on
}

TEST_F(ConsoleEvents, NothingIsDeliveredOnceUnwatched) {
    platform::unwatchConsoleEvents();
    EXPECT_FALSE(platform::deliverConsoleEvent(0));
    EXPECT_EQ(lastEvent, -1);
}

TEST_F(ConsoleEvents, AHandledEndOfSessionWaitsForTheOrderlyEnd) {
    // Close 2, logoff 5, shutdown 6. Each delivery must still be waiting
    // while the end is not done, and return once unwatch says it is.
    for (int event : {2, 5, 6}) {
        ASSERT_TRUE(platform::watchConsoleEvents(recordEvent));
        std::future<bool> delivered = std::async(std::launch::async, [event] { return platform::deliverConsoleEvent(event); });
        while (lastEvent != event) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (platform::endOfSessionWaitsForOrderlyEnd()) {
            EXPECT_EQ(delivered.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout) << event;
        }
        platform::unwatchConsoleEvents();
        ASSERT_EQ(delivered.wait_for(std::chrono::seconds(3)), std::future_status::ready) << event;
        EXPECT_TRUE(delivered.get());
        EXPECT_EQ(lastEvent, event);
    }
}

}  // namespace
