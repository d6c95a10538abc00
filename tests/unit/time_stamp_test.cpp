#include "core/TimeStamp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

namespace {

TEST(TimeStamp, WritesLocalTimeWithPaddedFields)
{
    std::tm local{};
    local.tm_year = 2011 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 5;
    local.tm_hour = 14;
    local.tm_min = 7;
    local.tm_sec = 9;
    local.tm_isdst = -1;
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local));
    EXPECT_EQ(TimeStamp(when), "2011-03-05 14:07:09");
    EXPECT_EQ(NowStamp([when] { return when; }), "2011-03-05 14:07:09");
    EXPECT_EQ(NowStamp().size(), 19u);
}

} // namespace
