#include "db/DbSession.h"

#include "DbAccounts.h"
#include "PrivateMariaDb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kConnectSeconds = 1;
constexpr unsigned kReadSeconds = 2;
// The most a statement may wait: one connect and one read timeout, and a little for the
// work around them.
constexpr auto kStatementBound =
    std::chrono::milliseconds((kConnectSeconds + kReadSeconds) * 1000 + 700);

class ReconnectTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_server = std::make_unique<PrivateMariaDb>(); }
    static void TearDownTestSuite() { s_server.reset(); }

    static std::unique_ptr<PrivateMariaDb> s_server;
};
std::unique_ptr<PrivateMariaDb> ReconnectTest::s_server;

// After the database was lost, the session comes back by itself: the statement that finds
// it gone connects again (or, when it cannot, the next one does), each statement ends within
// its bound, and the wait cursor is told once per statement however it ends.
TEST_F(ReconnectTest, SessionComesBackAfterTheDatabaseWasLost)
{
    PrivateMariaDb& server = *s_server;
    struct Case
    {
        const char* name;
        std::function<void()> fault;
        bool firstOk;     // the first statement after the fault
        int stillFailing; // statements after the first that fail while the fault lasts
        std::function<void()> mend;
    };
    const Case cases[] = {
        {"killed and restarted before the statement",
         [&] {
             server.Kill();
             server.Start();
         },
         true, 0, [] {}},
        {"killed and still down", [&] { server.Kill(); }, false, 1, [&] { server.Start(); }},
        {"hung during the statement", [&] { server.Pause(); }, false, 0, [&] { server.Resume(); }},
        {"hung through several statements", [&] { server.Pause(); }, false, 2,
         [&] { server.Resume(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DbSession db(server.settings(kConnectSeconds, kReadSeconds));
        std::string told;
        db.SetBusyHook({[&] { told += '('; }, [&] { told += ')'; }});
        ASSERT_TRUE(OpenAsProgram(db));
        ASSERT_TRUE(db.Query("select count(*) from zumalo_sp"));

        c.fault();
        const auto statement = [&](bool ok) {
            told.clear();
            const auto began = Clock::now();
            EXPECT_EQ(db.Query("select count(*) from zumalo_sp"), ok);
            EXPECT_LT(Clock::now() - began, kStatementBound);
            EXPECT_EQ(told, "()");
            if (ok) {
                const auto row = db.FetchRow();
                ASSERT_TRUE(row);
                EXPECT_EQ(Field(*row, 0), "0");
            }
        };
        statement(c.firstOk);
        for (int i = 0; i < c.stillFailing; ++i)
            statement(false);
        c.mend();
        statement(true);
        statement(true);
    }
}

// A connection lost while the server hung is killed on the server when the session comes
// back, so nothing sent on it can still run later; the session's own new connection stays.
TEST_F(ReconnectTest, ConnectionLostToAHungServerIsEndedOnTheServer)
{
    PrivateMariaDb& server = *s_server;
    DbSession db(server.settings(kConnectSeconds, kReadSeconds));
    ASSERT_TRUE(OpenAsProgram(db));
    server.Pause();
    EXPECT_FALSE(db.Query("select count(*) from zumalo_sp"));
    EXPECT_TRUE(db.LastLost());
    server.Resume();
    ASSERT_TRUE(db.Query("select connection_id()"));
    const std::string current = Field(*db.FetchRow(), 0);
    EXPECT_EQ(server.scalar("select group_concat(id) from information_schema.processlist where "
                            "user = '"
                            + ProgramAccount().user + "'"),
              current);
}

} // namespace

// The program's own bounds: a statement against a hung database (one connect and one read
// timeout at most) ends within the 10 s that a page may take.
TEST(ReconnectBounds, HungStatementEndsWithinThePageBound)
{
    const Settings s = Settings::Defaults();
    EXPECT_LT(s.dbConnectTimeoutSeconds + s.dbReadTimeoutSeconds, 10u);
    EXPECT_LT(s.dbConnectTimeoutSeconds + s.dbWriteTimeoutSeconds, 10u);
}
