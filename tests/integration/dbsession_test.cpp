#include "core/Basefunc.h"
#include "db/DbSession.h"
#include "db/Login.h"
#include "db/Statements.h"

#include "ClosedPort.h"
#include "DbAccounts.h"
#include "ScratchDatabase.h"

#include <QStringList>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <functional>

namespace {

class DbSessionTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_db = new ScratchDatabase("dbsession"); }
    static void TearDownTestSuite() { delete s_db; }
    void SetUp() override
    {
        s_db->clear();
        ASSERT_TRUE(OpenAsProgram(m_session));
    }

    static ScratchDatabase* s_db;
    DbSession m_session{s_db->options()};
};
ScratchDatabase* DbSessionTest::s_db = nullptr;

TEST_F(DbSessionTest, SelectGivesRowsCountsAndNullColumns)
{
    s_db->exec(
        "INSERT INTO zumalo_sys(sys_message, sys_enable, sys_caption1) VALUES ('m', '1', NULL)");
    ASSERT_TRUE(m_session.Query("select sys_message, sys_enable, sys_caption1 from zumalo_sys"));
    EXPECT_EQ(m_session.RowCount(), 1u);
    EXPECT_EQ(m_session.FieldCount(), 3u);
    const auto row = m_session.FetchRow();
    ASSERT_TRUE(row);
    EXPECT_EQ(Field(*row, 0), "m");
    EXPECT_FALSE((*row)[2].has_value());
    EXPECT_EQ(Field(*row, 2), "");
    EXPECT_FALSE(m_session.FetchRow());
}

TEST_F(DbSessionTest, InsertLeavesNoCurrentResultAndFreeResultTwiceIsHarmless)
{
    ASSERT_TRUE(m_session.Query("select 1"));
    ASSERT_TRUE(m_session.Query("insert into zumalo_bodysay(username, saybody, saytime) "
                                "values('a', 'b', '2011-03-05 14:07:09')"));
    EXPECT_EQ(m_session.RowCount(), 0u);
    EXPECT_EQ(m_session.FieldCount(), 0u);
    EXPECT_FALSE(m_session.FetchRow());
    EXPECT_TRUE(m_session.FreeResult());
    EXPECT_TRUE(m_session.FreeResult());
}

TEST_F(DbSessionTest, FailedStatementLeavesNoResultAndTheConnectionUsable)
{
    ASSERT_TRUE(m_session.Query("select 1"));
    EXPECT_FALSE(m_session.Query("select * from no_such_table"));
    EXPECT_EQ(m_session.RowCount(), 0u);
    EXPECT_FALSE(m_session.FetchRow());
    EXPECT_TRUE(m_session.Query("select 2"));
    EXPECT_EQ(Field(*m_session.FetchRow(), 0), "2");
}

// A query is one statement: what follows a ';' is refused with it, never run, and the
// connection stays usable.
TEST_F(DbSessionTest, ASecondStatementAfterASemicolonIsRefusedAndNeverRuns)
{
    s_db->exec("INSERT INTO zumalo_userinfo(username, userpwd, userscore) VALUES ('alice', "
               "'secret', 5)");
    EXPECT_FALSE(m_session.Query("select 1; delete from zumalo_userinfo"));
    EXPECT_FALSE(m_session.Query("update zumalo_userinfo set userscore = 6; "
                                 "update zumalo_userinfo set userpwd = 'owned'"));
    EXPECT_EQ(s_db->scalar("select concat(userpwd, ' ', userscore) from zumalo_userinfo"),
              "secret 5");
    ASSERT_TRUE(m_session.Query("select 2"));
    EXPECT_EQ(Field(*m_session.FetchRow(), 0), "2");
}

TEST_F(DbSessionTest, EmptyResultHasRowCountZero)
{
    ASSERT_TRUE(m_session.Query("select username from zumalo_userinfo"));
    EXPECT_EQ(m_session.RowCount(), 0u);
    EXPECT_FALSE(m_session.FetchRow());
}

TEST_F(DbSessionTest, SecondOpenReconnectsAndWrongAccountOrDeadHostFail)
{
    EXPECT_TRUE(OpenAsProgram(m_session));
    EXPECT_TRUE(m_session.Query("select 1"));
    EXPECT_FALSE(m_session.Open("127.0.0.1", ProgramAccount().user, "wrong"));
    EXPECT_FALSE(m_session.Query("select 1"));
    EXPECT_FALSE(
        m_session.Open("domain is wrong.", ProgramAccount().user, ProgramAccount().password));
    DbSession::Options closedPort = s_db->options();
    closedPort.port = 1; // nothing listens there
    DbSession other(closedPort);
    EXPECT_FALSE(OpenAsProgram(other));
    EXPECT_TRUE(OpenAsProgram(m_session));
    EXPECT_TRUE(m_session.Query("select 1"));
}

// Each call that waits on the server tells the busy hook once when it begins and once when
// it ends, whether it succeeds or fails; reading the rows of a result tells it nothing.
TEST_F(DbSessionTest, BusyHookEndsEveryCallItBegins)
{
    std::string told;
    const DbSession::BusyHook hook{[&] { told += '('; }, [&] { told += ')'; }};
    DbSession::Options closedPort = s_db->options();
    const ClosedPort closed;
    closedPort.port = closed.Port();
    DbSession refused(closedPort);
    m_session.SetBusyHook(hook);
    refused.SetBusyHook(hook);

    struct Case
    {
        const char* name;
        std::function<bool()> call;
        bool ok;
    };
    const Case cases[] = {
        {"statement and its rows",
         [&] { return m_session.Query("select 1, 2") && m_session.FetchRow().has_value(); }, true},
        {"bad SQL", [&] { return m_session.Query("selec 1"); }, false},
        {"reconnect", [&] { return OpenAsProgram(m_session); }, true},
        {"closed port", [&] { return OpenAsProgram(refused); }, false},
        {"close", [&] { return m_session.Close(); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        told.clear();
        EXPECT_EQ(c.call(), c.ok);
        EXPECT_EQ(told, "()");
    }
}

TEST_F(DbSessionTest, QueryBeforeOpenAndAfterCloseFails)
{
    DbSession fresh(s_db->options());
    EXPECT_FALSE(fresh.Query("select 1"));
    EXPECT_EQ(fresh.RowCount(), 0u);
    EXPECT_TRUE(m_session.Close());
    EXPECT_FALSE(m_session.Query("select 1"));
    EXPECT_TRUE(m_session.Close());
}

TEST_F(DbSessionTest, ChineseTextIsStoredAsChineseAndReadBackAsTheSameGbkBytes)
{
    const std::string utf8 = "留言板：今天25℃，“你好”……";
    const std::string gbk = Utf8ToGbk(utf8);
    Statements st(m_session);
    ASSERT_TRUE(m_session.Query(st.PostMessage(Utf8ToGbk("小雨"), gbk, "2011-03-05 14:07:09")));
    // The server holds the characters themselves, not GBK bytes taken for Latin-1.
    EXPECT_EQ(s_db->scalar("select saybody from zumalo_bodysay"), utf8);
    EXPECT_EQ(s_db->scalar("select username from zumalo_bodysay"), "小雨");
    ASSERT_TRUE(m_session.Query(Statements::BoardPage(0)));
    const auto row = m_session.FetchRow();
    ASSERT_TRUE(row);
    EXPECT_EQ(Field(*row, 0), Utf8ToGbk("小雨"));
    EXPECT_EQ(Field(*row, 1), gbk);
}

TEST_F(DbSessionTest, QuotesAndBackslashesAreStoredAsTyped)
{
    Statements st(m_session);
    const std::string titles[] = {"it's", "back\\slash", "\\'", "'; drop table zumalo_sp; --",
                                  Utf8ToGbk("王'五\\")};
    for (const auto& title : titles) {
        SCOPED_TRACE(title);
        ASSERT_TRUE(m_session.Query(
            st.UploadVideo("bob", title, "http://x/a.swf", "2011-03-05 14:07:09", "0")));
        ASSERT_TRUE(m_session.Query(st.ItemLookup(ListKind::Videos, title)));
        EXPECT_EQ(m_session.RowCount(), 1u);
        ASSERT_TRUE(m_session.Query(st.VideoUploader(title)));
        EXPECT_EQ(m_session.RowCount(), 1u);
    }
    EXPECT_EQ(s_db->scalar("select count(*) from zumalo_sp"), "5");
    EXPECT_EQ(s_db->scalar("select count(*) from zumalo_sp where text = 'back\\\\slash'"), "1");
}

TEST_F(DbSessionTest, InjectionShapedValuesNeverMatchOrChangeOtherRows)
{
    s_db->exec("INSERT INTO zumalo_userinfo(username, userpwd, userscore) VALUES ('alice', "
               "'secret', 5), ('bob', 'pw', 7)");
    Statements st(m_session);
    // 0xBF 0x27: a GBK lead byte followed by a quote, the classic multi-byte escape trick.
    const std::string payloads[] = {"x' OR '1'='1", std::string("\xBF\x27 OR 1=1 -- ", 14),
                                    "alice' -- ", "' OR username <> '", "\\' OR 1=1 #"};
    for (const auto& payload : payloads) {
        SCOPED_TRACE(payload);
        // A refused statement is fine; a match is not.
        if (m_session.Query(st.Login(payload, payload))) {
            EXPECT_EQ(m_session.RowCount(), 0u);
        }
        if (m_session.Query(st.Login("alice", payload))) {
            EXPECT_EQ(m_session.RowCount(), 0u);
        }
        m_session.Query(st.SetScore(payload, "999"));
        m_session.Query(st.ChangePassword(payload, "owned"));
    }
    EXPECT_EQ(s_db->scalar("select group_concat(userscore order by username) from zumalo_userinfo"),
              "5,7");
    EXPECT_EQ(s_db->scalar("select group_concat(userpwd order by username) from zumalo_userinfo"),
              "secret,pw");
}

TEST_F(DbSessionTest, CountStatementCountsOnTheServer)
{
    for (int i = 0; i < 11; ++i)
        s_db->exec("INSERT INTO zumalo_zhongzi(text, link) VALUES ('t" + std::to_string(i)
                   + "', 'l')");
    ASSERT_TRUE(m_session.Query(Statements::CountRows(ListKind::Torrents)));
    EXPECT_EQ(m_session.RowCount(), 1u);
    EXPECT_EQ(Field(*m_session.FetchRow(), 0), "11");
}

TEST_F(DbSessionTest, LoginChecksNameAndPasswordExactly)
{
    s_db->exec("INSERT INTO zumalo_userinfo(username, userpwd) VALUES ('demo', 'demo123'), (' pad "
               "', 'pw')");
    Session session;
    session.ServerAddress = "127.0.0.1";
    const Settings settings = s_db->settings();
    DbSession db(settings);
    login account(session, db, settings);
    ASSERT_TRUE(account.Connect());

    struct Case
    {
        std::string name, password;
        bool ok;
        std::string message;
    };
    const Case cases[] = {
        {"demo", "demo123", true, ""},
        {"demo", "DEMO123", false, "用户名或密码不正确，请重新输入。"},
        {"demo ", "demo123", false, "用户名或密码不正确，请重新输入。"},
        {" pad ", "pw", true, ""}, // blanks around the name are sent as typed
        {"pad", "pw", false, "用户名或密码不正确，请重新输入。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + "/" + c.password);
        account.SetUser(c.name, c.password);
        const StepResult result = account.DoLogin();
        EXPECT_EQ(result.ok, c.ok);
        EXPECT_EQ(GbkToUtf8(result.message), c.message);
        EXPECT_EQ(session.UserName, c.name);
        EXPECT_EQ(session.Password, c.password);
    }
}

TEST_F(DbSessionTest, SetUserChangesNothingWhenEitherTextIsEmpty)
{
    Session session;
    const Settings settings = s_db->settings();
    DbSession db(settings);
    login account(session, db, settings);
    account.SetUser("a", "b");
    account.SetUser("", "x");
    account.SetUser("y", "");
    EXPECT_EQ(session.UserName, "a");
    EXPECT_EQ(session.Password, "b");
}

TEST_F(DbSessionTest, RejectedLoginStatementGivesTheLoginFailureText)
{
    Session session;
    session.ServerAddress = "127.0.0.1";
    const Settings settings = s_db->settings();
    DbSession db(settings);
    login account(session, db, settings);
    ASSERT_TRUE(account.Connect());
    s_db->exec("RENAME TABLE zumalo_userinfo TO zumalo_userinfo_away");
    account.SetUser("demo", "demo123");
    const StepResult result = account.DoLogin();
    s_db->exec("RENAME TABLE zumalo_userinfo_away TO zumalo_userinfo");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(GbkToUtf8(result.message), "登录失败，请重新登录。");
}

} // namespace

// An operator can tell why a statement failed: the server's reason goes to "zumalo.db".
TEST_F(DbSessionTest, FailedStatementLogsTheServersReason)
{
    static QStringList logged;
    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (type == QtWarningMsg && QByteArray(context.category) == "zumalo.db")
                logged << text;
        });
    EXPECT_FALSE(m_session.Query("select * from no_such_table"));
    EXPECT_TRUE(m_session.Query("select 1"));
    DbSession other(s_db->options());
    EXPECT_FALSE(other.Open("127.0.0.1", ProgramAccount().user, "wrong password"));
    qInstallMessageHandler(previous);

    ASSERT_EQ(logged.size(), 2) << logged.join('\n').toStdString();
    EXPECT_TRUE(logged[0].contains("no_such_table' doesn't exist")) << logged[0].toStdString();
    EXPECT_TRUE(logged[1].contains("Access denied")) << logged[1].toStdString();
    EXPECT_FALSE(logged[1].contains("wrong password"));
}
