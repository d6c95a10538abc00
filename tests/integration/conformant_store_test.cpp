// Every flow of the client against a database an operator made from the catalogue of tables
// and columns alone: only the columns the client relies on (no id in the board), each one
// plain text, no keys or indexes, the columns in another order, and columns of the operator's
// own that the client must leave as they are. Each write runs twice: as it is, and with its
// connection killed as it goes out, so that the question whether it was stored runs too.
#include "core/GbkText.h"
#include "core/Session.h"
#include "core/Settings.h"
#include "core/TimeStamp.h"
#include "db/Accounts.h"
#include "db/Activation.h"
#include "db/CheckedWrite.h"
#include "db/ContentPages.h"
#include "db/DbSession.h"
#include "db/Login.h"
#include "db/Publishing.h"
#include "db/ServiceRecord.h"

#include "DbAccounts.h"
#include "ScratchDatabase.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace {

// The operator's own column "note" comes first and must keep its default.
const char* const kSchema = R"sql(
CREATE TABLE zumalo_userinfo (note TEXT NOT NULL DEFAULT 'operator', userscore TEXT,
  usermail TEXT, userphone TEXT, userqq TEXT, userarea TEXT, userage TEXT, usersex TEXT,
  userpwd TEXT, username TEXT, userid TEXT);
CREATE TABLE zumalo_sys (note TEXT NOT NULL DEFAULT 'operator', sys_reglink TEXT,
  sys_link5 TEXT, sys_link4 TEXT, sys_link3 TEXT, sys_link2 TEXT, sys_link1 TEXT,
  sys_caption5 TEXT, sys_caption4 TEXT, sys_caption3 TEXT, sys_caption2 TEXT,
  sys_caption1 TEXT, sys_enable TEXT, sys_message TEXT);
CREATE TABLE zumalo_zhongzi (note TEXT NOT NULL DEFAULT 'operator', allowScore TEXT,
  link TEXT, text TEXT, id TEXT);
CREATE TABLE zumalo_sp (note TEXT NOT NULL DEFAULT 'operator', uploadtime TEXT,
  username TEXT, allowScore TEXT, link TEXT, text TEXT, id TEXT);
CREATE TABLE zumalo_news (note TEXT NOT NULL DEFAULT 'operator', submittime TEXT,
  username TEXT, allowScore TEXT, link TEXT, text TEXT, id TEXT);
CREATE TABLE zumalo_bodysay (note TEXT NOT NULL DEFAULT 'operator', saytime TEXT,
  saybody TEXT, username TEXT);
)sql";

const char* const kTables[] = {"zumalo_userinfo", "zumalo_sys",  "zumalo_zhongzi",
                               "zumalo_sp",       "zumalo_news", "zumalo_bodysay"};

std::string G(const char* utf8)
{
    return Utf8ToGbk(utf8);
}

class ConformantDatabase : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_db = new ScratchDatabase("conformant", ScratchDatabase::OwnSchema{kSchema});
    }
    static void TearDownTestSuite() { delete s_db; }

    void SetUp() override
    {
        s_db->clear();
        s_db->exec("INSERT INTO zumalo_userinfo(userid, username, userpwd, usersex, userage,"
                   " userarea, userqq, userphone, usermail, userscore) VALUES"
                   " ('7', '小明', 'pw', '0', '21', '北京', '12345', '110', 'a@b.c', '10')");
        m_session.ServerAddress = "127.0.0.1";
        ASSERT_TRUE(OpenAsProgram(m_db));
        m_db.Connected = true;
        m_db.SetBusyHook({[this] {
                              if (++m_statements == m_strike)
                                  KillProgramConnections();
                          },
                          {}});
    }

    // Ends the program's connections to this database on the server, as a crash of the
    // connection would.
    static void KillProgramConnections()
    {
        const auto ids = s_db->rows("SELECT id FROM information_schema.processlist WHERE user ="
                                    " 'connect_server' AND db = '"
                                    + s_db->name() + "'");
        for (const auto& row : ids)
            s_db->tryExec("KILL CONNECTION " + row.at(0).value_or("0"));
    }

    // Rows where the client changed a column it must not touch.
    static std::string Touched()
    {
        long touched = 0;
        for (const char* table : kTables)
            touched += std::stol(s_db->scalar(std::string("SELECT COUNT(*) FROM ") + table
                                              + " WHERE note <> 'operator'"));
        return std::to_string(touched);
    }

    static ScratchDatabase* s_db;
    Session m_session;
    Settings m_settings = s_db->settings();
    DbSession m_db{s_db->options()};
    int m_statements = 0;
    int m_strike = 0; // the statement (counted from 1) whose connection is killed as it begins
};
ScratchDatabase* ConformantDatabase::s_db = nullptr;

TEST_F(ConformantDatabase, EveryReadFindsWhatTheOperatorStored)
{
    s_db->exec("INSERT INTO zumalo_sys(sys_message, sys_enable, sys_caption1, sys_caption2,"
               " sys_caption3, sys_caption4, sys_caption5, sys_link1, sys_link2, sys_link3,"
               " sys_link4, sys_link5, sys_reglink) VALUES ('今天有雨', '1', 'c1', 'c2', 'c3',"
               " 'c4', 'c5', 'l1', 'l2', 'l3', 'l4', 'l5', 'http://reg/a.swf')");
    for (int i = 1; i <= 9; ++i)
        s_db->exec("INSERT INTO zumalo_zhongzi(id, text, link, allowScore) VALUES ('"
                   + std::to_string(i) + "', 't" + std::to_string(i) + "', 'l" + std::to_string(i)
                   + "', '0')");
    s_db->exec("INSERT INTO zumalo_sp(id, text, link, allowScore, username, uploadtime) VALUES"
               " ('1', '片', 'http://v/a.swf', '10', 'bob', '2011-03-05 14:07:09'),"
               " ('2', '高', 'http://v/b.swf', '11', 'bob', '2011-03-05 14:08:00')");
    s_db->exec("INSERT INTO zumalo_news(id, text, link, allowScore) VALUES ('1', 'news',"
               " 'http://n/', '0')");
    s_db->exec("INSERT INTO zumalo_bodysay(username, saybody, saytime) VALUES"
               " ('a', '早', '2026-01-01 08:00:00'), ('b', '晚', '2026-01-01 20:00:00')");

    // Notice and captions.
    const std::optional<ServiceRecord> record = ReadServiceRecord(m_db);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->notice, G("今天有雨"));
    EXPECT_FALSE(record->suspended);
    EXPECT_EQ(record->captions, (std::array<std::string, 5>{"c1", "c2", "c3", "c4", "c5"}));
    EXPECT_EQ(record->links, (std::array<std::string, 5>{"l1", "l2", "l3", "l4", "l5"}));
    EXPECT_EQ(ReadNotice(m_db), G("今天有雨"));
    EXPECT_EQ(ReadRegistrationLink(m_db).link, "http://reg/a.swf");

    // List pages.
    EXPECT_EQ(CountItems(m_db, ListKind::Torrents), 9);
    EXPECT_EQ(ReadTitlePage(m_db, ListKind::Torrents, 1),
              (std::vector<std::string>{"t9", "t8", "t7", "t6", "t5", "t4", "t3", "t2"}));
    EXPECT_EQ(ReadTitlePage(m_db, ListKind::Torrents, 2), (std::vector<std::string>{"t1"}));
    const auto posts = ReadBoardPage(m_db, 1);
    ASSERT_TRUE(posts);
    ASSERT_EQ(posts->size(), 2u);
    EXPECT_EQ((*posts)[0].user, "b");
    EXPECT_EQ((*posts)[0].text, G("晚"));
    EXPECT_EQ((*posts)[1].user, "a");

    // Activation and the score gate, and the uploader line.
    struct Case
    {
        ListKind list;
        const char* title;
        Activation::Kind kind;
        std::string link;
    };
    const Case cases[] = {
        {ListKind::Videos, "片", Activation::Kind::Open, "http://v/a.swf"},
        {ListKind::Videos, "高", Activation::Kind::ScoreTooLow, ""},
        {ListKind::Torrents, "t3", Activation::Kind::Open, "l3"},
        {ListKind::QuickPosts, "news", Activation::Kind::Open, "http://n/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const Activation got = Activate(m_db, c.list, G(c.title), G("小明"));
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.link, c.link);
    }
    const auto uploader = ReadVideoUploader(m_db, G("片"));
    ASSERT_TRUE(uploader);
    EXPECT_EQ(uploader->user, "bob");
    EXPECT_EQ(uploader->time, "2011-03-05 14:07:09");

    // Login, profile, score and the name check of the registration.
    EXPECT_EQ(CheckLogin(m_db, G("小明"), "pw"), LoginCheck::Match);
    EXPECT_EQ(CheckLogin(m_db, G("小明"), "pW"), LoginCheck::NoMatch);
    const std::optional<Profile> profile = ReadProfile(m_db, G("小明"));
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->sex, "0");
    EXPECT_EQ(profile->age, "21");
    EXPECT_EQ(profile->area, G("北京"));
    EXPECT_EQ(profile->qq, "12345");
    EXPECT_EQ(profile->phone, "110");
    EXPECT_EQ(profile->mail, "a@b.c");
    EXPECT_EQ(profile->score, "10");
    EXPECT_EQ(ReadScore(m_db, G("小明")).score, 10);
    EXPECT_EQ(CheckNameFree(m_db, G("小明")), NameCheck::Taken);
    EXPECT_EQ(CheckNameFree(m_db, G("新人")), NameCheck::Free);
    EXPECT_EQ(Touched(), "0");
}

TEST_F(ConformantDatabase, EveryWriteIsStoredOnceAlsoWhenItsConnectionIsLost)
{
    const Clock clock = [] { return std::chrono::system_clock::from_time_t(1299334029); };
    const auto count = [](const std::string& where) {
        return s_db->scalar("SELECT COUNT(*) FROM " + where);
    };
    // The upload: read the score, store the points, store the video.
    const auto publish = [&] {
        return PublishVideo(m_db, G("小明"), G("春天"), "http://x/a.swf", "0", clock).kind
            == Publication::Kind::Done;
    };
    const auto videoAndScore = [&] {
        return count("zumalo_sp WHERE text = '春天' AND allowScore = '0'") + " video, score "
            + s_db->scalar("SELECT userscore FROM zumalo_userinfo WHERE username = '小明'");
    };
    struct Write
    {
        const char* name;
        std::function<bool()> act; // true when the user is told it succeeded
        int storingStatement;      // the statement of the action that stores it
        std::function<std::string()> stored;
        const char* once;
    };
    const Write writes[] = {
        {"board post",
         [&] {
             return StoreOnce(m_db, BoardPostWrite(m_db, G("小明"), G("你好"), NowStamp(clock)));
         },
         1,
         [&] {
             return count("zumalo_bodysay WHERE username = '小明' AND saybody = '你好' AND saytime"
                          " = '2011-03-05 14:07:09'");
         },
         "1"},
        {"quick post",
         [&] {
             return StoreOnce(m_db,
                              QuickPostWrite(m_db, G("小明"), G("新闻"), "http://example.org/",
                                             NowStamp(clock)));
         },
         1, [&] { return count("zumalo_news WHERE text = '新闻' AND username = '小明'"); }, "1"},
        {"upload, its points lost", publish, 2, videoAndScore, "1 video, score 12"},
        {"upload, its video lost", publish, 3, videoAndScore, "1 video, score 12"},
        // Is the name taken, store the account.
        {"registration",
         [&] {
             login account(m_session, m_db, m_settings);
             return account.Register({G("新人"), "pw", "1", "20", "", "", "", ""})
                 == RegisterOutcome::Registered;
         },
         2,
         [&] {
             return count("zumalo_userinfo WHERE username = '新人' AND userpwd = 'pw' AND"
                          " userscore = '0'");
         },
         "1"},
        {"password change",
         [&] {
             login account(m_session, m_db, m_settings);
             return account.ChangePassword(G("小明"), "neu") == PasswordChangeOutcome::Changed;
         },
         1,
         [&] {
             return s_db->scalar("SELECT userpwd FROM zumalo_userinfo WHERE username = '小明'");
         },
         "neu"},
    };
    for (const bool lost : {false, true}) {
        for (const Write& write : writes) {
            SCOPED_TRACE(std::string(write.name) + (lost ? ", connection lost" : ""));
            SetUp();
            m_statements = 0;
            m_strike = lost ? write.storingStatement : 0;
            EXPECT_TRUE(write.act());
            m_strike = 0;
            EXPECT_EQ(write.stored(), write.once);
            EXPECT_FALSE(m_db.UnsettledWrite);
            EXPECT_EQ(Touched(), "0");
        }
    }
}

} // namespace
