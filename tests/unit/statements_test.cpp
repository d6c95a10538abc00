#include "core/GbkText.h"
#include "db/DbSession.h"
#include "db/Statements.h"

#include <gtest/gtest.h>

namespace {

// The fixed fragments go to the server byte for byte; without a connection the values are
// escaped by the GBK-aware fallback, which these cases also pin down.
TEST(Statements, FixedFragmentsAreExact)
{
    DbSession offline;
    Statements st(offline);
    struct Case
    {
        std::string got, want;
    };
    const Case cases[] = {
        {Statements::ServiceRecord(),
         "select sys_message, sys_enable, sys_caption1, sys_caption2, sys_caption3, sys_caption4, "
         "sys_caption5, sys_link1, sys_link2, sys_link3, sys_link4, sys_link5 from zumalo_sys"},
        {Statements::NoticeRefresh(),
         "select sys_message/*, sys_enable, sys_caption1, sys_caption2, sys_caption3, "
         "sys_caption4, "
         "sys_caption5, sys_link1, sys_link2, sys_link3, sys_link4, sys_link5*/ from zumalo_sys"},
        {Statements::CountRows(ListKind::Videos), "select count(*) from zumalo_sp"},
        {Statements::ListPage(ListKind::Torrents, 16),
         "select text from zumalo_zhongzi order by id desc limit 16, 8"},
        {Statements::BoardPage(0),
         "select username, saybody from zumalo_bodysay order by saytime desc limit 0, 8"},
        {st.ItemLookup(ListKind::QuickPosts, "t"),
         "select link, allowScore from zumalo_news where text = 't'"},
        {st.UserScore("bob"), "select userscore from zumalo_userinfo where username = 'bob'"},
        {st.PostMessage("bob", " hi ", "2011-03-05 14:07:09"),
         "insert into zumalo_bodysay(username, saybody, saytime) values('bob', ' hi ', '2011-03-05 "
         "14:07:09')"},
        {st.Login("a", "b"),
         "select userid, userqq, userphone, usermail from zumalo_userinfo where username = 'a' and "
         "userpwd = 'b'"},
        {st.VideoUploader("t"), "select username, uploadtime from zumalo_sp where text = 't'"},
        {st.UploadVideo("u", "n", "l", "t", "5"),
         "insert into zumalo_sp(username, text, link, uploadtime, allowScore) values('u', 'n', "
         "'l', 't', '5')"},
        {st.QuickPost("u", "n", "l", "t"),
         "insert into zumalo_news(username, text, link, submittime) values('u', 'n', 'l', 't')"},
        {st.NewAccount("n", "p", "1", "20", "a", "1", "2", "m"),
         "insert into zumalo_userinfo(username, userpwd, usersex, userage, userarea, userqq, "
         "userphone, "
         "usermail, userscore) values('n', 'p', '1', '20', 'a', '1', '2', 'm', '0')"},
        {st.ChangePassword("n", "p"),
         "update zumalo_userinfo set userpwd = 'p' where username = 'n'"},
        {st.SetScore("n", "12"),
         "update zumalo_userinfo set userscore = '12' where username = 'n'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.got, c.want);
}

TEST(EscapeGb2312, EscapesQuotesButKeepsWholeCharacters)
{
    EXPECT_EQ(EscapeGb2312("it's"), "it\\'s");
    EXPECT_EQ(EscapeGb2312("a\\b"), "a\\\\b");
    // 0xBF 0x27 is no gb2312 character: the quote after the high byte must be escaped,
    // or it would close the literal.
    EXPECT_EQ(EscapeGb2312("\xBF\x27"), "\xBF\\\x27");
    EXPECT_EQ(EscapeGb2312("\xBF\x5C"), "\xBF\\\x5C");
    const std::string chinese = Utf8ToGbk("中文");
    EXPECT_EQ(EscapeGb2312(chinese), chinese);
}

} // namespace
