#include <gtest/gtest.h>

#include <string>

#include "app/app.h"
#include "core/event_queue.h"
#include "core/logger.h"
#include "sim/test_hooks.h"

namespace {

LogTime fixedTime() {
    return LogTime{2025, 1, 1, 0, 0, 0, 0};
}

// Runs the main loop over the records given, ended by EXIT_EVT, and returns the log.
std::string runLoop(std::initializer_list<EventRecord> records) {
    setLogClock(fixedTime);
    exitRequested = false;
    for (const EventRecord& record : records) eventQueue.push(record);
    testing::internal::CaptureStdout();
    runMainLoop();
    const std::string log = testing::internal::GetCapturedStdout();
    setLogClock(nullptr);
    return log;
}

const std::string header = "(2025-1-1 0:00:00:000)[D/RudovUrev]: ";

}  // namespace

TEST(MainLoop, LogsEachRecordWithItsDumpAndCallsItsHandler) {
    const std::string log = runLoop({makeRecord({TIMER_EVT, 0x02}), makeRecord({APP_CLIENT_EVT}),
                                     makeRecord({INTERNAL_EVT, 0x02}), makeRecord({HUB_EVT}), makeRecord({EXIT_EVT})});
    EXPECT_EQ(log, header + "TIMER_EVT: 0x02 \n" + header + "handleTimerEvents\n" +  //
                       header + "APP_CLIENT_EVT: \n" + header + "handleClientCommands\n" + header +
                       "INTERNAL_EVT: 0x02 \n" + header + "handleInternalEvents\n" + header + "HUB_EVT: \n" + header +
                       "handleHubEvents\n" + header + "Hub event format err!!!\n" + header + "EXIT_EVT: \n");
}

TEST(MainLoop, DropsUnknownTypesSilentlyAndNeverDispatchesRecordsBehindExit) {
    const std::string log =
        runLoop({makeRecord({0x06, 0x01}), makeRecord({0xFE}), makeRecord({EXIT_EVT}), makeRecord({TIMER_EVT, 0x01})});
    EXPECT_EQ(log, header + "EXIT_EVT: \n");
    // The record behind EXIT_EVT is still queued, untouched.
    EXPECT_EQ(*eventQueue.pop(), (std::vector<uint8_t>{TIMER_EVT, 0x01}));
}

TEST(HexDump, FormatsEveryByteOfA255BytePayload) {
    std::vector<uint8_t> payload(255);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i);
    char dump[HEX_DUMP_SIZE];
    formatHexDump(payload.data(), 255, dump);
    const std::string text(dump);
    EXPECT_EQ(text.size(), 255u * 5);
    EXPECT_EQ(text.substr(0, 10), "0x00 0x01 ");
    EXPECT_EQ(text.substr(text.size() - 5), "0xfe ");
    formatHexDump(payload.data(), 0, dump);
    EXPECT_STREQ(dump, "");
}

TEST(StartUp, NoHubFromTheSdkEndsWithExitCodeOne) {
    kv::sim::setHubUnavailable(true);
    testing::internal::CaptureStdout();
    EXPECT_EQ(runEmgBridge(), 1);
    const std::string log = testing::internal::GetCapturedStdout();
    kv::sim::setHubUnavailable(false);
    EXPECT_NE(log.find("hub init failed: -1"), std::string::npos);
    EXPECT_EQ(log.find("registerListener"), std::string::npos);
}
