#include "db/Statements.h"

#include "db/DbSession.h"

namespace {

std::string Table(ListKind kind)
{
    return std::string(ListTable(kind));
}

} // namespace

std::string_view ListTable(ListKind kind)
{
    switch (kind) {
    case ListKind::Torrents: return "zumalo_zhongzi";
    case ListKind::Videos: return "zumalo_sp";
    case ListKind::Board: return "zumalo_bodysay";
    case ListKind::QuickPosts: return "zumalo_news";
    }
    return "zumalo_zhongzi";
}

std::string Statements::q(std::string_view value) const
{
    return m_db.Escape(value);
}

std::string Statements::ServiceRecord()
{
    return "select sys_message, sys_enable, sys_caption1, sys_caption2, sys_caption3, "
           "sys_caption4, sys_caption5, sys_link1, sys_link2, sys_link3, sys_link4, sys_link5 "
           "from zumalo_sys";
}

std::string Statements::NoticeRefresh()
{
    // Only sys_message is selected; the rest stays in the comment as it always was.
    return "select sys_message/*, sys_enable, sys_caption1, sys_caption2, sys_caption3, "
           "sys_caption4, sys_caption5, sys_link1, sys_link2, sys_link3, sys_link4, sys_link5*/ "
           "from zumalo_sys";
}

std::string Statements::RegLink()
{
    return "select sys_reglink from zumalo_sys";
}

std::string Statements::CountRows(ListKind list)
{
    // The server counts; the client never downloads the table to count it.
    return "select count(*) from " + Table(list);
}

std::string Statements::ListPage(ListKind list, long long offset)
{
    return "select text from " + Table(list) + " order by id desc limit " + std::to_string(offset)
        + ", 8";
}

std::string Statements::BoardPage(long long offset)
{
    return "select username, saybody from " + Table(ListKind::Board)
        + " order by saytime desc limit " + std::to_string(offset) + ", 8";
}

std::string Statements::ItemLookup(ListKind list, std::string_view title) const
{
    return "select link, allowScore from " + Table(list) + " where text = '" + q(title) + "'";
}

std::string Statements::VideoUploader(std::string_view title) const
{
    return "select username, uploadtime from " + Table(ListKind::Videos) + " where text = '"
        + q(title) + "'";
}

std::string Statements::Login(std::string_view name, std::string_view password) const
{
    return "select userid, userqq, userphone, usermail from zumalo_userinfo where username = '"
        + q(name) + "' and userpwd = '" + q(password) + "'";
}

std::string Statements::UserInfo(std::string_view name) const
{
    return "select usersex, userage, userarea, userqq, userphone, usermail, userscore from "
           "zumalo_userinfo where username = '"
        + q(name) + "'";
}

std::string Statements::UserScore(std::string_view name) const
{
    return "select userscore from zumalo_userinfo where username = '" + q(name) + "'";
}

std::string Statements::SetScore(std::string_view name, std::string_view score) const
{
    return "update zumalo_userinfo set userscore = '" + q(score) + "' where username = '" + q(name)
        + "'";
}

std::string Statements::NameTaken(std::string_view name) const
{
    return "select * from zumalo_userinfo where username = '" + q(name) + "'";
}

std::string Statements::NewAccount(std::string_view name, std::string_view password,
                                   std::string_view sex, std::string_view age,
                                   std::string_view area, std::string_view qq,
                                   std::string_view phone, std::string_view mail) const
{
    return "insert into zumalo_userinfo(username, userpwd, usersex, userage, userarea, userqq, "
           "userphone, usermail, userscore) values('"
        + q(name) + "', '" + q(password) + "', '" + q(sex) + "', '" + q(age) + "', '" + q(area)
        + "', '" + q(qq) + "', '" + q(phone) + "', '" + q(mail) + "', '0')";
}

std::string Statements::PasswordCheck(std::string_view name, std::string_view oldPassword) const
{
    return "select username from zumalo_userinfo where username = '" + q(name) + "' and userpwd = '"
        + q(oldPassword) + "'";
}

std::string Statements::ChangePassword(std::string_view name, std::string_view newPassword) const
{
    return "update zumalo_userinfo set userpwd = '" + q(newPassword) + "' where username = '"
        + q(name) + "'";
}

std::string Statements::PostMessage(std::string_view user, std::string_view message,
                                    std::string_view time) const
{
    return "insert into " + Table(ListKind::Board) + "(username, saybody, saytime) values('"
        + q(user) + "', '" + q(message) + "', '" + q(time) + "')";
}

std::string Statements::UploadVideo(std::string_view user, std::string_view name,
                                    std::string_view link, std::string_view time,
                                    std::string_view requiredScore) const
{
    return "insert into " + Table(ListKind::Videos)
        + "(username, text, link, uploadtime, allowScore) values('" + q(user) + "', '" + q(name)
        + "', '" + q(link) + "', '" + q(time) + "', '" + q(requiredScore) + "')";
}

std::string Statements::QuickPost(std::string_view user, std::string_view title,
                                  std::string_view link, std::string_view time) const
{
    return "insert into " + Table(ListKind::QuickPosts)
        + "(username, text, link, submittime) values('" + q(user) + "', '" + q(title) + "', '"
        + q(link) + "', '" + q(time) + "')";
}

std::string Statements::SetScoreWhereStill(std::string_view name, std::string_view score,
                                           std::string_view written) const
{
    return "update zumalo_userinfo set userscore = '" + q(score) + "' where username = '" + q(name)
        + "' and userscore = '" + q(written) + "'";
}

std::string Statements::PostStored(std::string_view user, std::string_view message,
                                   std::string_view time) const
{
    return "select username from " + Table(ListKind::Board) + " where username = '" + q(user)
        + "' and saybody = '" + q(message) + "' and saytime = '" + q(time) + "'";
}

std::string Statements::VideoStored(std::string_view user, std::string_view name,
                                    std::string_view link, std::string_view time,
                                    std::string_view requiredScore) const
{
    return "select username from " + Table(ListKind::Videos) + " where username = '" + q(user)
        + "' and text = '" + q(name) + "' and link = '" + q(link) + "' and uploadtime = '" + q(time)
        + "' and allowScore = '" + q(requiredScore) + "'";
}

std::string Statements::QuickPostStored(std::string_view user, std::string_view title,
                                        std::string_view link, std::string_view time) const
{
    return "select username from " + Table(ListKind::QuickPosts) + " where username = '" + q(user)
        + "' and text = '" + q(title) + "' and link = '" + q(link) + "' and submittime = '"
        + q(time) + "'";
}

std::string Statements::AccountStored(std::string_view name, std::string_view password) const
{
    return "select userid from zumalo_userinfo where username = '" + q(name) + "' and userpwd = '"
        + q(password) + "'";
}

std::string Statements::ScoreIs(std::string_view name, std::string_view score) const
{
    return "select userid from zumalo_userinfo where username = '" + q(name) + "' and userscore = '"
        + q(score) + "'";
}
