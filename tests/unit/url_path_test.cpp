#include "net/Http.h"

#include <gtest/gtest.h>

namespace {

TEST(EscapeUrlPath, KeepsPathBytesAndEscapesWhatWouldBreakTheAddress)
{
    struct Case
    {
        std::string path, escaped;
    };
    const Case cases[] = {
        {"/zhongzi/plain-name_1.torrent", "/zhongzi/plain-name_1.torrent"},
        {"/zhongzi/a b.torrent", "/zhongzi/a%20b.torrent"},
        {"/zhongzi/x#y?z.torrent", "/zhongzi/x%23y%3Fz.torrent"},
        {"/zhongzi/\xD6\xD6.torrent", "/zhongzi/%D6%D6.torrent"}, // GBK 种
        {"/zhongzi/already%20escaped", "/zhongzi/already%20escaped"},
        {std::string("/a\tb\x7f\"<>\\", 9), "/a%09b%7F%22%3C%3E%5C"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(EscapeUrlPath(c.path), c.escaped);
    }
}

} // namespace
