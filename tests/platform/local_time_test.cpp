// Calendar time of a moment: UTC checked on dates worked out by hand.
#include "platform/local_time.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(LocalTime, UtcDatesOfKnownMoments) {
    std::tm t{};
    ASSERT_TRUE(platform::toUtcTime(0, t));
    EXPECT_EQ(t.tm_year, 70);
    EXPECT_EQ(t.tm_mon, 0);
    EXPECT_EQ(t.tm_mday, 1);
    EXPECT_EQ(t.tm_hour, 0);
    // 2000-02-29 13:45:07: 10957 days to 2000-01-01, 31 + 28 more, then 49507 s.
    ASSERT_TRUE(platform::toUtcTime(std::time_t{(10957 + 59) * 86400 + 49507}, t));
    EXPECT_EQ(t.tm_year, 100);
    EXPECT_EQ(t.tm_mon, 1);
    EXPECT_EQ(t.tm_mday, 29);
    EXPECT_EQ(t.tm_hour, 13);
    EXPECT_EQ(t.tm_min, 45);
    EXPECT_EQ(t.tm_sec, 7);
    EXPECT_EQ(t.tm_wday, 2);  // a Tuesday
}

TEST(LocalTime, LocalTimeIsWithinADayOfUtc) {
    std::tm local{}, utc{};
    const std::time_t moment = std::time_t{(10957 + 59) * 86400 + 49507};
    ASSERT_TRUE(platform::toLocalTime(moment, local));
    ASSERT_TRUE(platform::toUtcTime(moment, utc));
    const int minutesLocal = local.tm_yday * 1440 + local.tm_hour * 60 + local.tm_min;
    const int minutesUtc = utc.tm_yday * 1440 + utc.tm_hour * 60 + utc.tm_min;
    EXPECT_LE(std::abs(minutesLocal - minutesUtc), 14 * 60);  // time zones span UTC-12 to UTC+14
}

}  // namespace
