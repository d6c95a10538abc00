#include "core/Links.h"

#include <gtest/gtest.h>

TEST(Links, OnlyWebAddressesWithAHostReachTheOpener)
{
    struct Case
    {
        const char* link;
        bool page;   // quick posts and captions
        bool banner; // banners and movies
    };
    const Case cases[] = {
        {"http://example.com/a", true, true},
        {"HTTPS://example.com", true, true},
        {"ftp://files.example.com/x.rar", true, false},
        {"http://127.0.0.1:8081/sp/bounce.swf", true, true},
        {"http://user@host/", true, true},
        {"file:///etc/passwd", false, false},
        {"javascript:alert(1)", false, false},
        {"smb://host/a.desktop", false, false},
        {"smb://h/http://", false, false},
        {"../../etc/passwd", false, false},
        {"a.desktop", false, false},
        {"", false, false},
        {"http://", false, false},
        {"http:///etc/passwd", false, false},
        {"http://:80/", false, false},
        {"http://user@/x", false, false},
        {" http://example.com", false, false},
        {"http://example.com/a b", false, false},
        {"http://example.com/\n", false, false},
        {"http:\\\\host\\share", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        EXPECT_EQ(IsOpenablePageLink(c.link), c.page);
        EXPECT_EQ(IsWebLink(c.link), c.banner);
    }
}
