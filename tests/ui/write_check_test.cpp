#include "core/GbkText.h"
#include "core/Session.h"
#include "core/TimeStamp.h"
#include "db/CheckedWrite.h"
#include "db/DbSession.h"
#include "db/Login.h"
#include "ui/Tchangeform.h"
#include "ui/TextBridge.h"
#include "ui/Tsubmitform.h"
#include "ui/Tuploadform.h"

#include "DbAccounts.h"
#include "FakePlatform.h"
#include "LogCapture.h"
#include "PrivateMariaDb.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace {

constexpr unsigned kConnectSeconds = 2;
constexpr unsigned kReadSeconds = 1;

// A write whose connection is lost or times out is answered only once the client knows
// whether it was stored: stored is a success, not stored a failure, and trying again never
// makes a second row. Each write is the user's own action; the fault strikes when the
// statement that stores it begins.
class WriteCheckTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_server = std::make_unique<PrivateMariaDb>(); }
    static void TearDownTestSuite() { s_server.reset(); }

    void Reset(unsigned connectSeconds = kConnectSeconds, unsigned readSeconds = kReadSeconds)
    {
        s_server->exec("DROP TRIGGER IF EXISTS test.refuse_video");
        s_server->exec("DELETE FROM test.zumalo_userinfo; DELETE FROM test.zumalo_sp; "
                       "DELETE FROM test.zumalo_news; DELETE FROM test.zumalo_bodysay");
        s_server->exec("INSERT INTO test.zumalo_userinfo(username, userpwd, userscore) VALUES "
                       "('小明', 'pw', 10)");
        m_session.UserName = Utf8ToGbk("小明");
        m_bounds = {connectSeconds, readSeconds};
        m_db = std::make_unique<DbSession>(s_server->settings(connectSeconds, readSeconds));
        ASSERT_TRUE(OpenAsProgram(*m_db));
        m_db->Connected = true;
        m_statements = 0;
        m_strike = 0;
        m_db->SetBusyHook({[this] {
                               if (++m_statements == m_strike && m_fault)
                                   m_fault();
                           },
                           {}});
    }

    // The clock moves a second on each reading, so that a second try has a time stamp of
    // its own.
    Clock Ticking()
    {
        return [this] {
            return std::chrono::system_clock::from_time_t(1299334029)
                + std::chrono::seconds(m_tick++);
        };
    }

    // The user's actions: true when the user is told it succeeded.
    bool BoardPost()
    {
        return StoreOnce(
            *m_db,
            BoardPostWrite(*m_db, m_session.UserName, Utf8ToGbk("你好"), NowStamp(Ticking())));
    }
    bool QuickPost()
    {
        TSubmitForm form(nullptr, m_session, *m_db, m_platform, Ticking());
        form.Controls().Edit1->setText(QStringLiteral("新闻"));
        form.Controls().Edit2->setText(QStringLiteral("http://example.org/"));
        m_fakes.prompts.entries.clear();
        form.SpeedButton1Click();
        return m_fakes.prompts.Last().text == QStringLiteral("上传成功。");
    }
    bool Upload()
    {
        TUploadForm form(nullptr, m_session, *m_db, m_platform, Ticking());
        form.Controls().Edit1->setText(QStringLiteral("春天"));
        form.Controls().Edit2->setText(QStringLiteral("http://x/a.swf"));
        form.Controls().Edit4->setText(QStringLiteral("0"));
        m_fakes.prompts.entries.clear();
        form.SpeedButton1Click();
        return m_fakes.prompts.Last().text == QStringLiteral("上传成功，恭喜获得2个积分。");
    }
    bool Register()
    {
        Session session;
        session.ServerAddress = "127.0.0.1";
        const Settings settings = s_server->settings(m_bounds.first, m_bounds.second);
        login account(session, *m_db, settings);
        return account.Register({Utf8ToGbk("新人"), "pw", "1", "20", "", "", "", ""})
            == RegisterOutcome::Registered;
    }
    // The dialog connects, checks the old password, stores the new one. A try after a
    // failure types what the user typed the first time.
    bool ChangePassword()
    {
        Session session;
        session.ServerAddress = "127.0.0.1";
        const Settings settings = s_server->settings(m_bounds.first, m_bounds.second);
        TChangeForm form(nullptr, session, *m_db, settings, m_platform);
        form.Controls().Edit1->setText(QStringLiteral("小明"));
        form.Controls().Edit4->setText(QStringLiteral("pw"));
        form.Controls().Edit2->setText(QStringLiteral("新密"));
        form.Controls().Edit3->setText(QStringLiteral("新密"));
        m_fakes.prompts.entries.clear();
        form.Button1Click();
        return m_fakes.prompts.Last().text
            == QStringLiteral("请记住新的密码，下次登录按本次修改的密码验证。");
    }

    static std::unique_ptr<PrivateMariaDb> s_server;
    Session m_session;
    std::unique_ptr<DbSession> m_db;
    FakePlatform m_fakes;
    Platform m_platform = m_fakes.bundle();
    int m_statements = 0;
    int m_strike = 0;
    std::function<void()> m_fault;
    int m_tick = 0;
    std::pair<unsigned, unsigned> m_bounds{kConnectSeconds, kReadSeconds};
};
std::unique_ptr<PrivateMariaDb> WriteCheckTest::s_server;

TEST_F(WriteCheckTest, LostWriteIsAnsweredByWhatWasStored)
{
    PrivateMariaDb& server = *s_server;
    struct Write
    {
        const char* name;
        std::function<bool()> act;
        int storingStatement; // which statement of the action stores it
        std::function<std::string()> stored;
    };
    const Write writes[] = {
        {"board post", [this] { return BoardPost(); }, 1,
         [&] { return server.scalar("select count(*) from test.zumalo_bodysay"); }},
        {"quick post", [this] { return QuickPost(); }, 1,
         [&] { return server.scalar("select count(*) from test.zumalo_news"); }},
        // Read the score, add the points, store the video.
        {"upload", [this] { return Upload(); }, 3,
         [&] {
             return server.scalar("select count(*) from test.zumalo_sp") + " video, score "
                 + server.scalar("select userscore from test.zumalo_userinfo where username = "
                                 "'小明'");
         }},
        // Is the name taken, store the account.
        {"new account", [this] { return Register(); }, 2,
         [&] {
             return server.scalar(
                 "select count(*) from test.zumalo_userinfo where username = '新人'");
         }},
        // Connect, check the old password, store the new one.
        {"password change", [this] { return ChangePassword(); }, 3,
         [&] {
             return server.scalar("select userpwd from test.zumalo_userinfo where username = "
                                  "'小明'");
         }},
    };
    const std::string once[] = {"1", "1", "1 video, score 12", "1", "新密"};

    std::thread resumer;
    struct Fault
    {
        const char* name;
        std::function<void()> strike;  // when the storing statement begins
        bool firstTold;                // what the first try is told
        std::function<void()> between; // before the user tries again
    };
    const Fault faults[] = {
        {"killed and restarted as the write goes out",
         [&] {
             server.Kill();
             server.Start();
         },
         true, [] {}},
        // The write times out; the server resumes before the client has given up asking,
        // and stores it then.
        {"hung as the write goes out, resumed while the client asks",
         [&] {
             server.Pause();
             resumer = std::thread([&] {
                 std::this_thread::sleep_for(std::chrono::milliseconds(kReadSeconds * 1000 + 600));
                 server.Resume();
             });
         },
         true, [&] { resumer.join(); }},
        // The client cannot learn the outcome and says it failed; the server stores the
        // write when it resumes, so trying again must not store it twice.
        {"hung as the write goes out, resumed after the answer", [&] { server.Pause(); }, false,
         [&] { server.Resume(); }},
        // ...and when the server died instead, trying again stores it once.
        {"hung as the write goes out, killed and restarted after the answer",
         [&] { server.Pause(); }, false,
         [&] {
             server.Kill();
             server.Start();
         }},
    };
    for (const auto& fault : faults) {
        for (std::size_t i = 0; i < std::size(writes); ++i) {
            const Write& write = writes[i];
            SCOPED_TRACE(std::string(write.name) + " / " + fault.name);
            Reset();
            m_strike = write.storingStatement;
            m_fault = fault.strike;
            EXPECT_EQ(write.act(), fault.firstTold);
            fault.between();
            m_fault = nullptr;
            if (!fault.firstTold) {
                EXPECT_TRUE(write.act()) << "trying again";
            }
            EXPECT_EQ(write.stored(), once[i]);
        }
    }
}

// When the video is refused, the upload takes its points back only where the score is still
// what it wrote: points the account gained meanwhile stay.
TEST_F(WriteCheckTest, UploadTakesItsPointsBackOnlyWhereTheScoreIsStillItsOwn)
{
    Reset();
    s_server->exec("CREATE TRIGGER test.refuse_video BEFORE INSERT ON test.zumalo_sp FOR EACH ROW "
                   "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'no videos today'");
    m_strike = 3; // as the video goes out, the account gains 5 points elsewhere
    m_fault = [] { s_server->exec("UPDATE test.zumalo_userinfo SET userscore = userscore + 5"); };
    EXPECT_FALSE(Upload());
    EXPECT_EQ(m_fakes.prompts.Last().text, QStringLiteral("上传视频信息失败。"));
    EXPECT_EQ(s_server->scalar("select userscore from test.zumalo_userinfo"), "17");
    m_fault = nullptr;
}

// A database that goes away as a write goes out and comes back within the action's bound
// (a cluster moving the client to a live node) answers the write; one that stays away gives
// the failure, within the bound, and the next try stores the write once.
TEST_F(WriteCheckTest, WriteRidesOutADatabaseThatComesBackWithinItsBound)
{
    using Clock = std::chrono::steady_clock;
    constexpr unsigned kConnect = 2;
    constexpr unsigned kRead = 3;
    const auto bound = std::chrono::seconds(kConnect + kRead);
    PrivateMariaDb& server = *s_server;
    struct Write
    {
        const char* name;
        std::function<bool()> act;
        int storingStatement;
        const char* table;
    };
    const Write writes[] = {
        {"board post", [this] { return BoardPost(); }, 1, "zumalo_bodysay"},
        {"upload", [this] { return Upload(); }, 3, "zumalo_sp"},
        {"password change", [this] { return ChangePassword(); }, 3, ""},
    };
    const auto stored = [&](const Write& write) {
        return *write.table ? server.scalar(std::string("select count(*) from test.") + write.table)
                            : server.scalar("select count(*) from test.zumalo_userinfo where "
                                            "userpwd = '新密'");
    };
    for (const bool comesBack : {true, false}) {
        for (const Write& write : writes) {
            SCOPED_TRACE(std::string(write.name)
                         + (comesBack ? " / stopped as the write goes out, started a second later"
                                      : " / stopped as the write goes out, and still down"));
            Reset(kConnect, kRead);
            // The server is killed as the write begins, and started again (from this thread:
            // the server ends with the thread that started it) by the first statement of the
            // client a second later.
            std::optional<Clock::time_point> killed;
            m_db->SetBusyHook({[&] {
                                   if (++m_statements == write.storingStatement) {
                                       server.Kill();
                                       killed = Clock::now();
                                   } else if (comesBack && killed
                                              && Clock::now() - *killed > std::chrono::seconds(1)) {
                                       server.Start();
                                       killed.reset();
                                   }
                               },
                               {}});
            const auto began = Clock::now();
            EXPECT_EQ(write.act(), comesBack);
            const auto took = Clock::now() - began;
            m_db->SetBusyHook({});
            if (!comesBack) {
                // It kept trying for the whole bound before it gave up, and no longer.
                EXPECT_GT(took, bound - std::chrono::milliseconds(500));
                EXPECT_LT(took, bound + std::chrono::milliseconds(1500));
                server.Start();
                EXPECT_TRUE(write.act()) << "trying again";
            }
            EXPECT_EQ(stored(write), "1");
        }
    }
}

// A server that refuses the question whether a write is stored (here: the account may add
// to the board but not read it) is no reason to hold back every write after it: the write
// is given up with a log line naming the cause, and the next ones go out.
TEST_F(WriteCheckTest, CheckTheServerRefusesDoesNotHoldBackLaterWrites)
{
    Reset();
    s_server->exec("REVOKE SELECT ON test.zumalo_bodysay FROM 'connect_server'@'localhost', "
                   "'connect_server'@'127.0.0.1'");
    const LogCapture log;
    m_strike = 1;
    m_fault = [] {
        s_server->Kill();
        s_server->Start();
    };
    EXPECT_FALSE(BoardPost());
    m_fault = nullptr;
    EXPECT_FALSE(m_db->UnsettledWrite);
    EXPECT_TRUE(log.Text().contains("SELECT command denied")) << log.Text().toStdString();
    EXPECT_TRUE(QuickPost());
    EXPECT_TRUE(Upload());
    s_server->exec("GRANT SELECT ON test.zumalo_bodysay TO 'connect_server'@'localhost', "
                   "'connect_server'@'127.0.0.1'");
    EXPECT_TRUE(BoardPost());
    EXPECT_EQ(s_server->scalar("select count(*) from test.zumalo_news"), "1");
    EXPECT_EQ(s_server->scalar("select count(*) from test.zumalo_sp"), "1");
}

} // namespace
