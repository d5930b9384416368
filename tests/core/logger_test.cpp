#include "core/logger.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

LogTime newYear() {
    return LogTime{2025, 1, 1, 0, 0, 0, 0};
}

class LoggerTest : public ::testing::Test {
protected:
    void TearDown() override { setLogClock(nullptr); }
};

}  // namespace

TEST_F(LoggerTest, HeaderCarriesDateTimeLevelAndTag) {
    setLogClock([] { return LogTime{2024, 3, 7, 9, 5, 3, 42}; });
    testing::internal::CaptureStdout();
    EXPECT_EQ(logPrint(LOG_DEBUG, LOG_TAG, "handleTimerEvents"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "(2024-3-7 9:05:03:042)[D/RudovUrev]: handleTimerEvents\n");

    setLogClock(newYear);
    char line[LOG_LINE_SIZE];
    formatLogLine(line, LOG_DEBUG, LOG_TAG, "%s, new state is %d", "KinvoHandle::onStateChanged", 3);
    EXPECT_STREQ(line, "(2025-1-1 0:00:00:000)[D/RudovUrev]: KinvoHandle::onStateChanged, new state is 3");
}

TEST_F(LoggerTest, LevelZeroWritesNothing) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(logPrint(0, LOG_TAG, "verbose %d", 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(LoggerTest, LongMessageIsCutSoTheLineHolds1023Characters) {
    setLogClock(newYear);
    const std::string longText(5000, 'x');
    testing::internal::CaptureStdout();
    logPrint(LOG_DEBUG, LOG_TAG, "%s", longText.c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(out.size(), 1024u);  // 1023 characters and the line end
    EXPECT_EQ(out.back(), '\n');
    EXPECT_EQ(out.compare(0, 37, "(2025-1-1 0:00:00:000)[D/RudovUrev]: "), 0);
    EXPECT_EQ(out.find_first_not_of('x', 37), 1023u);
}

TEST_F(LoggerTest, ControlCharactersFromOutsideAreWrittenAsHexEscapes) {
    setLogClock(newYear);
    char line[LOG_LINE_SIZE];
    // A forged second line, a terminal escape and DEL in a header value; the tab too.
    formatLogLine(line, LOG_DEBUG, LOG_TAG, "Host %s", "a\r\n(2025-1-1 0:00:00:000)[D/RudovUrev]: x\x1b[2J\x7f\tb");
    EXPECT_STREQ(line, "(2025-1-1 0:00:00:000)[D/RudovUrev]: Host a\\x0D\\x0A(2025-1-1 0:00:00:000)[D/RudovUrev]: "
                       "x\\x1B[2J\\x7F\\x09b");

    // An escape that would not fit whole at the end of the line is left out: 37 header
    // characters, 984 'y', then room for 2 more characters only.
    const std::string text = std::string(984, 'y') + "\n";
    EXPECT_EQ(formatLogLine(line, LOG_DEBUG, LOG_TAG, "%s", text.c_str()), 1021);
    EXPECT_EQ(std::strchr(line, '\\'), nullptr);
    EXPECT_EQ(std::strchr(line, '\n'), nullptr);
}
