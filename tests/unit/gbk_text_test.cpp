#include "core/GbkText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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

} // namespace
