// The console handler as the system calls it: Ctrl+C and a shutdown each ask
// for the end once (one EXIT_EVT), every other event is passed on, and the
// shutdown's call returns once the handler is removed, the orderly end's
// last step (Windows ends the process when it returns).
#include "app/console_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

#include "core/event_queue.h"
#include "platform/console_events.h"

namespace {

TEST(ConsoleControl, CtrlCAndShutdownAskForTheEndAndTheRestArePassedOn) {
    ASSERT_TRUE(setConsoleCtrlHandler(true));
    EXPECT_TRUE(platform::deliverConsoleEvent(CTRL_C_EVENT));
    for (int passedOn : {int{CTRL_BREAK_EVENT}, int{CTRL_CLOSE_EVENT}, int{CTRL_LOGOFF_EVENT}, 3, 7}) {
        EXPECT_FALSE(platform::deliverConsoleEvent(passedOn)) << passedOn;
    }
    std::future<bool> shutdown = std::async(std::launch::async, [] { return platform::deliverConsoleEvent(CTRL_SHUTDOWN_EVENT); });
    // Passed on, it would return false at once (and no record would come).
    if (shutdown.wait_for(std::chrono::milliseconds(200)) == std::future_status::ready) {
        ASSERT_TRUE(shutdown.get());
    }
    const std::vector<uint8_t> exit{EXIT_EVT};
    EXPECT_EQ(*eventQueue.pop(), exit);  // Ctrl+C's
    EXPECT_EQ(*eventQueue.pop(), exit);  // the shutdown's
    ASSERT_TRUE(setConsoleCtrlHandler(false));
    if (shutdown.valid()) {
        EXPECT_TRUE(shutdown.get());
    }
    // Nothing else was queued: a record pushed now is the next one out.
    eventQueue.push(makeRecord({TIMER_EVT}));
    EXPECT_EQ(eventQueue.pop()->at(0), TIMER_EVT);
}

}  // namespace
