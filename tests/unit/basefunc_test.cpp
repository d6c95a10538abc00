#include "core/Basefunc.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <unistd.h>

namespace {

struct IntCase
{
    const char* text;
    std::optional<int> value; // nullopt: must fail
};

TEST(StrToInt, AcceptsWhatTheDialogsAcceptAndRefusesTheRest)
{
    const IntCase cases[] = {
        {"0", 0},
        {"42", 42},
        {"  42", 42}, // leading blanks pass
        {"+7", 7},
        {"-15", -15},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"$1F", 31},
        {"x10", 16},
        {"0x10", 16},
        {"0XfF", 255},
        {"$FFFFFFFF", -1}, // the full 32-bit pattern
        {"-$10", -16},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"$100000000", std::nullopt},
        {"42 ", std::nullopt}, // trailing blanks fail
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"12a", std::nullopt},
        {"abc", std::nullopt},
        {"1.5", std::nullopt},
        {"\t5", std::nullopt}, // only blanks may lead
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("text: '") + c.text + "'");
        if (c.value) {
            EXPECT_EQ(StrToInt(c.text), *c.value);
        } else {
            EXPECT_THROW(StrToInt(c.text), ConvertError);
        }
    }
}

TEST(StrToInt, FailureCarriesTheTextInTheMessage)
{
    try {
        StrToInt("abc");
        FAIL() << "no error";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
}

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

TEST(Gbk, RoundTripsChineseAndCountsTwoBytesACharacter)
{
    const std::string utf8 = "留言板：你好，Zumalo 25℃";
    const std::string gbk = Utf8ToGbk(utf8);
    EXPECT_EQ(GbkLength(Utf8ToGbk("留言")), 4u);
    EXPECT_EQ(GbkLength(Utf8ToGbk("℃")), 2u);
    EXPECT_EQ(GbkToUtf8(gbk), utf8);
    EXPECT_EQ(Utf8ToGbk("种"), "\xD6\xD6");
}

TEST(Gbk, UnconvertibleCharactersBecomeQuestionMarksAndNothingIsCut)
{
    // An emoji has no GBK code; the text around it survives whole.
    EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80"
                        "b"),
              "a?b");
    // Broken UTF-8 in the middle and at the end.
    EXPECT_EQ(Utf8ToGbk("a\xE4\xB8z"), "a?z");
    EXPECT_EQ(Utf8ToGbk("ab\xE4"), "ab?");
    // A lone lead byte at the end of GBK text, and an invalid pair.
    EXPECT_EQ(GbkToUtf8("ab\xD6"), "ab?");
    EXPECT_EQ(GbkToUtf8("\xFF"
                        "c"),
              "?c");
    // A lead byte before a byte that cannot end a pair loses only itself.
    EXPECT_EQ(GbkToUtf8("\x81 a"), "? a");
    EXPECT_EQ(GbkToUtf8("\x81\x30"
                        "b"),
              "?0b");
    // Longer than iconv's chunk: nothing lost.
    const std::string many(5000, 'x');
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk(many + "中")), many + "中");
}

TEST(CutAtCharBoundary, NeverSplitsADoubleByteCharacter)
{
    const std::string text = Utf8ToGbk("a中文"); // 1 + 2 + 2 bytes
    EXPECT_EQ(CutAtCharBoundary(text, 10), text);
    EXPECT_EQ(CutAtCharBoundary(text, 5), text);
    EXPECT_EQ(CutAtCharBoundary(text, 4), Utf8ToGbk("a中"));
    EXPECT_EQ(CutAtCharBoundary(text, 2), "a");
    EXPECT_EQ(CutAtCharBoundary(text, 0), "");
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

TEST(ProgramDir, IsTheDirectoryOfThisProgramWithATrailingSlash)
{
    // Asked by the test below: print the directory and stop.
    if (std::getenv("ZUMALO_PRINT_PROGRAM_DIR")) {
        std::printf("%s\n", ProgramDir().c_str());
        std::fflush(stdout);
        std::_Exit(0);
    }
    const std::string dir = ProgramDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_NE(dir.find("/tests/"), std::string::npos) << dir;
}

TEST(ProgramDir, WorksFromADirectoryWithAVeryLongPath)
{
    // A copy of this program four hundred characters deep reports its own directory.
    char base[] = "/tmp/zumalo-programdir-XXXXXX";
    ASSERT_NE(mkdtemp(base), nullptr);
    std::string dir = base;
    while (dir.size() < 400)
        dir += "/" + std::string(60, 'd');
    const std::string self = "/proc/" + std::to_string(getpid()) + "/exe";
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "' && cp " + self + " '" + dir + "/copy'").c_str()),
              0);
    const std::string command = "ZUMALO_PRINT_PROGRAM_DIR=1 '" + dir
        + "/copy' --gtest_filter=ProgramDir.IsTheDirectoryOfThisProgramWithATrailingSlash";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    // The directory is the last line the copy prints.
    std::string last;
    char line[1024];
    while (std::fgets(line, sizeof line, out))
        last = line;
    pclose(out);
    EXPECT_EQ(std::system(("rm -rf '" + std::string(base) + "'").c_str()), 0);
    EXPECT_EQ(last, dir + "/\n");
}

} // namespace
