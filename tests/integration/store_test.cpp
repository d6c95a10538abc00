// The typed store on the real MariaDB of the local stack: what each read gives for rows that
// are there, missing, NULL or unreadable, how many statements it takes, and the rules that
// used to live in the windows (paging, activation, the score gate, the upload's points).
#include "core/GbkText.h"
#include "core/TimeStamp.h"
#include "db/Accounts.h"
#include "db/Activation.h"
#include "db/ContentPages.h"
#include "db/DbSession.h"
#include "db/Publishing.h"
#include "db/ServiceRecord.h"

#include "ScratchDatabase.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <vector>

namespace {

class StoreTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_db = new ScratchDatabase("store"); }
    static void TearDownTestSuite() { delete s_db; }
    void SetUp() override
    {
        s_db->clear();
        ASSERT_TRUE(m_db.Open("127.0.0.1", "connect_server", "40725913"));
        m_db.Connected = true;
    }

    // Statements the connection has sent so far (this read counts itself).
    long Questions()
    {
        EXPECT_TRUE(m_db.Query("show session status like 'Questions'"));
        const auto row = m_db.FetchRow();
        m_db.FreeResult();
        return row ? std::stol(Field(*row, 1)) : -1;
    }
    // Statements sent by what runs in between, the counting read not counted.
    template <typename F> long StatementsOf(F&& run)
    {
        const long before = Questions();
        run();
        return Questions() - before - 1;
    }

    static ScratchDatabase* s_db;
    DbSession m_db{s_db->options()};
    // A session that never connected: every statement fails.
    DbSession m_closed{s_db->options()};
};
ScratchDatabase* StoreTest::s_db = nullptr;

std::string G(const char* utf8)
{
    return Utf8ToGbk(utf8);
}

} // namespace

TEST_F(StoreTest, ServiceRecordReadsEveryColumnAndNullAsEmpty)
{
    struct Case
    {
        const char* name;
        const char* insert; // empty: no service row
        bool found;
        std::string notice;
        bool suspended;
        std::array<std::string, 5> captions;
        std::array<std::string, 5> links;
    };
    const Case cases[] = {
        {"no row", "", false, "", false, {}, {}},
        {"all set",
         "INSERT INTO zumalo_sys VALUES (1, '今天有雨', '1', 'c1', 'c2', 'c3', 'c4', 'c5',"
         " 'l1', 'l2', 'l3', 'l4', 'l5', 'r')",
         true,
         G("今天有雨"),
         false,
         {"c1", "c2", "c3", "c4", "c5"},
         {"l1", "l2", "l3", "l4", "l5"}},
        {"NULL everywhere, the switch too, runs",
         "INSERT INTO zumalo_sys(sys_id, sys_enable) VALUES (1, NULL)",
         true,
         "",
         false,
         {},
         {}},
        {"switched off",
         "INSERT INTO zumalo_sys(sys_id, sys_enable, sys_caption3, sys_link3)"
         " VALUES (1, '0', 'c3', 'l3')",
         true,
         "",
         true,
         {"", "", "c3", "", ""},
         {"", "", "l3", "", ""}},
        {"only a stored 0 switches off",
         "INSERT INTO zumalo_sys(sys_id, sys_enable) VALUES (1, '00')",
         true,
         "",
         false,
         {},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s_db->exec("DELETE FROM zumalo_sys");
        if (*c.insert)
            s_db->exec(c.insert);
        std::optional<ServiceRecord> record;
        EXPECT_EQ(StatementsOf([&] { record = ReadServiceRecord(m_db); }), 1);
        ASSERT_EQ(record.has_value(), c.found);
        if (!record)
            continue;
        EXPECT_EQ(record->notice, c.notice);
        EXPECT_EQ(record->suspended, c.suspended);
        EXPECT_EQ(record->captions, c.captions);
        EXPECT_EQ(record->links, c.links);
    }
    EXPECT_FALSE(ReadServiceRecord(m_closed));
}

TEST_F(StoreTest, NoticeAndRegistrationLinkTellNoRowFromAFailure)
{
    struct Case
    {
        const char* name;
        const char* insert;
        std::optional<std::string> notice;
        std::string regLink;
    };
    const Case cases[] = {
        {"no row", "", std::nullopt, ""},
        {"NULL", "INSERT INTO zumalo_sys(sys_id, sys_message, sys_reglink) VALUES (1, NULL, NULL)",
         "", ""},
        {"set", "INSERT INTO zumalo_sys(sys_id, sys_message, sys_reglink) VALUES (1, '通告', 'm')",
         G("通告"), "m"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s_db->exec("DELETE FROM zumalo_sys");
        if (*c.insert)
            s_db->exec(c.insert);
        EXPECT_EQ(ReadNotice(m_db), c.notice);
        const RegistrationLink reg = ReadRegistrationLink(m_db);
        EXPECT_TRUE(reg.read);
        EXPECT_EQ(reg.link, c.regLink);
    }
    EXPECT_FALSE(ReadNotice(m_closed));
    EXPECT_FALSE(ReadRegistrationLink(m_closed).read);
}

TEST_F(StoreTest, ProfileAndScoreOfKnownUnknownAndUnreachableAccounts)
{
    s_db->exec("INSERT INTO zumalo_userinfo(username, userpwd, usersex, userage, userarea,"
               " userqq, userphone, usermail, userscore)"
               " VALUES ('张三', 'p', '0', '21', '北京', '12345', '', 'a@b.c', 10)");
    const std::optional<Profile> profile = ReadProfile(m_db, G("张三"));
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->sex, "0");
    EXPECT_EQ(profile->age, "21");
    EXPECT_EQ(profile->area, G("北京"));
    EXPECT_EQ(profile->qq, "12345");
    EXPECT_EQ(profile->phone, "");
    EXPECT_EQ(profile->mail, "a@b.c");
    EXPECT_EQ(profile->score, "10");
    EXPECT_FALSE(ReadProfile(m_db, G("李四")));
    EXPECT_FALSE(ReadProfile(m_closed, G("张三")));

    struct Case
    {
        DbSession* db;
        const char* name;
        ScoreRead::Kind kind;
        int score;
    };
    const Case cases[] = {
        {&m_db, "张三", ScoreRead::Kind::Read, 10},
        {&m_db, "李四", ScoreRead::Kind::NoAccount, 0},
        {&m_closed, "张三", ScoreRead::Kind::Failed, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScoreRead read = ReadScore(*c.db, G(c.name));
        EXPECT_EQ(read.kind, c.kind);
        EXPECT_EQ(read.score, c.score);
    }
}

TEST(Paging, PagesHoldEightRowsAndALastPartialPageCounts)
{
    const struct
    {
        int items;
        int pages;
    } cases[] = {{0, 0}, {1, 1}, {7, 1}, {8, 1}, {9, 2}, {16, 2}, {17, 3}};
    for (const auto& c : cases)
        EXPECT_EQ(PageCountFor(c.items), c.pages) << c.items << " rows";
    EXPECT_EQ(PageOffset(1), 0);
    EXPECT_EQ(PageOffset(3), 16);
}

TEST_F(StoreTest, ListsAreCountedAndReadAPageAtATimeNewestFirst)
{
    // An empty list: no rows, no pages, and an empty first page.
    EXPECT_EQ(CountItems(m_db, ListKind::Torrents), 0);
    ASSERT_TRUE(ReadTitlePage(m_db, ListKind::Torrents, 1));
    EXPECT_TRUE(ReadTitlePage(m_db, ListKind::Torrents, 1)->empty());

    for (int i = 1; i <= 17; ++i)
        s_db->exec("INSERT INTO zumalo_news(text) VALUES ('t" + std::to_string(i) + "')");
    EXPECT_EQ(CountItems(m_db, ListKind::QuickPosts), 17);
    struct Case
    {
        int page;
        std::vector<std::string> titles;
    };
    const Case cases[] = {
        {1, {"t17", "t16", "t15", "t14", "t13", "t12", "t11", "t10"}},
        {2, {"t9", "t8", "t7", "t6", "t5", "t4", "t3", "t2"}},
        {3, {"t1"}}, // the last, partial page
        {4, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadTitlePage(m_db, ListKind::QuickPosts, c.page), c.titles) << "page " << c.page;

    s_db->exec("INSERT INTO zumalo_bodysay(username, saybody, saytime) VALUES"
               " ('a', '早', '2026-01-01 08:00:00'), ('b', '晚', '2026-01-01 20:00:00')");
    const auto posts = ReadBoardPage(m_db, 1);
    ASSERT_TRUE(posts);
    ASSERT_EQ(posts->size(), 2u);
    EXPECT_EQ((*posts)[0].user, "b");
    EXPECT_EQ((*posts)[0].text, G("晚"));
    EXPECT_EQ((*posts)[1].user, "a");

    // Not connected: nothing is sent, and nothing is read.
    m_db.Connected = false;
    EXPECT_EQ(StatementsOf([&] {
                  EXPECT_FALSE(CountItems(m_db, ListKind::QuickPosts));
                  EXPECT_FALSE(ReadTitlePage(m_db, ListKind::QuickPosts, 1));
                  EXPECT_FALSE(ReadBoardPage(m_db, 1));
              }),
              0);
    m_closed.Connected = true;
    EXPECT_FALSE(CountItems(m_closed, ListKind::QuickPosts));
    EXPECT_FALSE(ReadTitlePage(m_closed, ListKind::QuickPosts, 1));
}

TEST_F(StoreTest, VideoUploaderIsTheFirstRowOrNone)
{
    s_db->exec("INSERT INTO zumalo_sp(text, username, uploadtime) VALUES"
               " ('片', 'bob', '2011-03-05 14:07:09'), ('无时', 'amy', NULL)");
    const auto bob = ReadVideoUploader(m_db, G("片"));
    ASSERT_TRUE(bob);
    EXPECT_EQ(bob->user, "bob");
    EXPECT_EQ(bob->time, "2011-03-05 14:07:09");
    const auto amy = ReadVideoUploader(m_db, G("无时"));
    ASSERT_TRUE(amy);
    EXPECT_EQ(amy->time, "");
    EXPECT_FALSE(ReadVideoUploader(m_db, G("没有")));
    EXPECT_FALSE(ReadVideoUploader(m_closed, G("片")));
}

// Activation and its score gate: a video opens only for a user whose score reaches the
// video's; the score is read only for videos, after the entry.
TEST_F(StoreTest, ActivationOpensWhatTheScoreGateAllows)
{
    s_db->exec("INSERT INTO zumalo_userinfo(username, userpwd, userscore) VALUES ('u', 'p', 10)");
    s_db->exec("INSERT INTO zumalo_sp(text, link, allowScore) VALUES"
               " ('below', 'v1', '9'), ('equal', 'v2', '10'), ('above', 'v3', '11'),"
               " ('null', 'v4', NULL), ('hex', 'v5', '$0A'), ('bad', 'v6', 'abc')");
    s_db->exec("INSERT INTO zumalo_zhongzi(text, link, allowScore) VALUES"
               " ('seed', 's.torrent', '99'), ('badseed', 'x', 'abc')");
    s_db->exec("INSERT INTO zumalo_news(text, link) VALUES ('news', 'http://n/')");
    using Kind = Activation::Kind;
    struct Case
    {
        ListKind list;
        const char* title;
        const char* user;
        Kind kind;
        std::string link;
        long statements;
    };
    const Case cases[] = {
        {ListKind::Videos, "below", "u", Kind::Open, "v1", 2},
        {ListKind::Videos, "equal", "u", Kind::Open, "v2", 2},
        {ListKind::Videos, "above", "u", Kind::ScoreTooLow, "", 2},
        {ListKind::Videos, "null", "u", Kind::Open, "v4", 2},
        {ListKind::Videos, "hex", "u", Kind::Open, "v5", 2},
        {ListKind::Videos, "bad", "u", Kind::NotANumber, "", 1},
        {ListKind::Videos, "gone", "u", Kind::Nothing, "", 1},
        {ListKind::Videos, "above", "nobody", Kind::Nothing, "", 2},
        // Other lists have no gate, but their required score is still read as a number.
        {ListKind::Torrents, "seed", "nobody", Kind::Open, "s.torrent", 1},
        {ListKind::Torrents, "badseed", "u", Kind::NotANumber, "", 1},
        {ListKind::QuickPosts, "news", "u", Kind::Open, "http://n/", 1},
        {ListKind::Board, "anything", "u", Kind::Nothing, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(ListTable(c.list)) + " " + c.title + " by " + c.user);
        Activation got;
        EXPECT_EQ(StatementsOf([&] { got = Activate(m_db, c.list, c.title, c.user); }),
                  c.statements);
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.link, c.link);
        EXPECT_EQ(got.error.empty(), c.kind != Kind::NotANumber);
    }
    EXPECT_EQ(Activate(m_closed, ListKind::Videos, "below", "u").kind, Kind::LookupFailed);
}

// The upload's points: score + 2 with the video, both stamped with the clock's time; a video
// the database refuses takes its points back; no account, no points and no video.
TEST_F(StoreTest, PublishingAVideoAwardsItsPointsOnlyWithTheVideo)
{
    s_db->exec("INSERT INTO zumalo_userinfo(username, userpwd, userscore) VALUES ('u', 'p', 10)");
    const Clock clock = [] { return std::chrono::system_clock::from_time_t(1'700'000'000); };
    const std::string stamp = NowStamp(clock);
    const std::string tooLong(201, 'x'); // the title column holds 200
    using Kind = Publication::Kind;
    struct Case
    {
        const char* name;
        const char* user;
        std::string title;
        Kind kind;
        const char* scoreAfter;
        const char* videos;
    };
    const Case cases[] = {
        {"published", "u", "片一", Kind::Done, "12", "1"},
        {"again", "u", "片二", Kind::Done, "14", "2"},
        {"refused video", "u", tooLong, Kind::VideoNotStored, "14", "2"},
        {"no account", "nobody", "片三", Kind::ScoreUnread, "14", "2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Publication got =
            PublishVideo(m_db, c.user, G(c.title.c_str()), "http://v/a.swf", "$0A", clock);
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(s_db->scalar("SELECT userscore FROM zumalo_userinfo WHERE username = 'u'"),
                  c.scoreAfter);
        EXPECT_EQ(s_db->scalar("SELECT COUNT(*) FROM zumalo_sp"), c.videos);
    }
    EXPECT_EQ(s_db->scalar("SELECT COUNT(*) FROM zumalo_sp WHERE username = 'u' AND allowScore ="
                           " '$0A' AND uploadtime = '"
                           + stamp + "'"),
              "2");
    EXPECT_EQ(PublishVideo(m_closed, "u", "t", "l", "0", clock).kind, Kind::ScoreUnread);
}

// Creating, checking and changing an account: names and passwords match exactly (untrimmed,
// case and all), and a failed statement is told apart where the windows tell it.
TEST_F(StoreTest, AccountChecksMatchExactlyAndTellFailures)
{
    s_db->exec("INSERT INTO zumalo_userinfo(username, userpwd) VALUES ('张三', 'Pw')");
    struct Case
    {
        const char* name;
        const char* password;
        NameCheck nameCheck;
        LoginCheck login;
    };
    const Case cases[] = {
        {"张三", "Pw", NameCheck::Taken, LoginCheck::Match},
        {"张三", "pw", NameCheck::Taken, LoginCheck::NoMatch},
        {"张三 ", "Pw", NameCheck::Free, LoginCheck::NoMatch},
        {"李四", "Pw", NameCheck::Free, LoginCheck::NoMatch},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "/" + c.password);
        EXPECT_EQ(CheckNameFree(m_db, G(c.name)), c.nameCheck);
        EXPECT_EQ(CheckLogin(m_db, G(c.name), c.password), c.login);
        EXPECT_EQ(PasswordMatches(m_db, G(c.name), c.password), c.login == LoginCheck::Match);
    }
    EXPECT_EQ(CheckNameFree(m_closed, G("李四")), NameCheck::Failed);
    EXPECT_EQ(CheckLogin(m_closed, G("张三"), "Pw"), LoginCheck::Failed);
    EXPECT_FALSE(PasswordMatches(m_closed, G("张三"), "Pw"));

    EXPECT_TRUE(StorePassword(m_db, G("张三"), "new"));
    EXPECT_EQ(CheckLogin(m_db, G("张三"), "new"), LoginCheck::Match);
    EXPECT_TRUE(StorePassword(m_db, G("李四"), "new")); // accepted, though no row changed
    EXPECT_FALSE(StorePassword(m_closed, G("张三"), "x"));
}
