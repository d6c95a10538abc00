#include "core/GbkText.h"
#include "core/Substring.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Trim, RemovesControlBytesAndBlanksAtBothEndsOnly)
{
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim(" \t\r\n "), "");
    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(Trim(std::string("\x01x\x1f", 3)), "x");
    EXPECT_EQ(Trim(std::string("\0x\0", 3)), "x");
    // GBK bytes are above 32 and stay, also a trail byte of 0x40.
    const std::string gbk = Utf8ToGbk(" 中文 ");
    EXPECT_EQ(Trim(gbk), Utf8ToGbk("中文"));
}

TEST(Copy, FollowsTheOneBasedSubstringRule)
{
    EXPECT_EQ(Copy("abcdef", 2, 3), "bcd");
    EXPECT_EQ(Copy("abcdef", 0, 2), "ab"); // start below 1 counts as 1
    EXPECT_EQ(Copy("abcdef", -5, 2), "ab");
    EXPECT_EQ(Copy("abcdef", 3, 0), "");
    EXPECT_EQ(Copy("abcdef", 3, -1), "");
    EXPECT_EQ(Copy("abcdef", 7, 1), "");     // start past the end
    EXPECT_EQ(Copy("abcdef", 5, 100), "ef"); // count past the end is cut
}

} // namespace
