// What one member, with the account every client carries, cannot do to the others, and what
// the tests' account of a shared development host cannot do to the host.
#include "core/Settings.h"

#include "AdminConnection.h"
#include "DbAccounts.h"
#include "PrivateMariaDb.h"
#include "ScratchDatabase.h"

#include <sys/resource.h>
#include <unistd.h>

#include <mysql.h>
#include <mysqld_error.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A statement of the program's account ends on the server at the client's own read bound, even
// for a client that would wait longer: it cannot hold a connection and a thread beyond it.
TEST(DatabaseLimits, StatementOfTheProgramsAccountEndsAtTheClientsReadBound)
{
    const DbAccount program = ProgramAccount();
    const unsigned bound = Settings::Defaults().dbReadTimeoutSeconds;
    AdminConnection member;
    ASSERT_TRUE(member.Connect("127.0.0.1", Settings::Defaults().dbPort, "", program.user,
                               program.password, 4 * bound))
        << member.error();
    const struct
    {
        const char* statement;
    } cases[] = {{"select sleep(8)"},
                 // About 200 s of one core without the bound.
                 {"select count(*) from information_schema.collations a, "
                  "information_schema.collations b, information_schema.collations c, "
                  "information_schema.character_sets d"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.statement);
        const auto start = Clock::now();
        EXPECT_FALSE(member.tryExec(c.statement));
        const auto took = Clock::now() - start;
        EXPECT_LT(took, std::chrono::milliseconds(bound * 1000 + 1500));
        EXPECT_GE(took, std::chrono::milliseconds(bound * 1000 - 500));
        EXPECT_NE(member.lastError().find("max_statement_time"), std::string::npos)
            << member.lastError();
    }
}

// With the operator's settings (db/mariadb.cnf) and grants, the program's account gets no more
// than its ceiling of connections, and that ceiling leaves room below max_connections: when one
// member has taken them all, the next login of the account is refused for the account, and the
// administrator still logs in.
TEST(DatabaseLimits, ProgramsAccountStopsAtItsCeilingAndLeavesRoomForTheOperator)
{
    // Thousands of connections: one descriptor each.
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);

    PrivateMariaDb server(std::string(ZUMALO_TEST_SOURCE_DIR) + "/db/mariadb.cnf");
    const long ceiling = std::stol("0"
                                   + server.scalar("select max_user_connections from mysql.user "
                                                   "where user = 'connect_server' and host = "
                                                   "'127.0.0.1'"));
    const long most = std::stol(server.scalar("select @@max_connections"));
    ASSERT_GT(ceiling, 0) << "the program's account has no ceiling";
    ASSERT_LT(ceiling, most) << "the ceiling leaves no room for the operator";
    ASSERT_LT(static_cast<rlim_t>(ceiling) + 64, files.rlim_cur) << "too few file descriptors";

    const DbAccount program = ProgramAccount();
    const auto connect = [&] {
        MYSQL* m = mysql_init(nullptr);
        unsigned timeout = 10;
        mysql_options(m, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
        if (!mysql_real_connect(m, "127.0.0.1", program.user.c_str(), program.password.c_str(),
                                nullptr, server.port(), nullptr, 0))
            return std::make_pair(m, mysql_errno(m));
        return std::make_pair(m, 0u);
    };
    std::vector<MYSQL*> held;
    unsigned refusedWith = 0;
    for (long i = 0; i <= ceiling; ++i) {
        const auto [m, error] = connect();
        if (error) {
            refusedWith = error;
            mysql_close(m);
            break;
        }
        held.push_back(m);
    }
    EXPECT_EQ(static_cast<long>(held.size()), ceiling);
    // The account's own limit, not the server's: "User ... has exceeded the
    // 'max_user_connections' resource".
    EXPECT_EQ(refusedWith, static_cast<unsigned>(ER_USER_LIMIT_REACHED));
    AdminConnection administrator;
    EXPECT_TRUE(administrator.Connect("", 0, server.socket(), "root", "")) << administrator.error();
    for (MYSQL* m : held)
        mysql_close(m);
}

// The tests' account of the local stack has what the tests need and nothing over the host:
// no files written outside the stack's folder, no accounts, no grants, no server settings.
TEST(DatabaseLimits, TestsAccountCannotReachBeyondItsDatabases)
{
    ScratchDatabase db("limits");
    const std::string outside = "/tmp/zumalo-outfile-" + std::to_string(::getpid());
    std::filesystem::remove(outside);
    const struct
    {
        std::string statement;
    } cases[] = {
        {"SELECT 'x' INTO OUTFILE '" + outside + "'"},
        {"CREATE USER 'zumalo_intruder'@'%' IDENTIFIED BY 'x'"},
        {"GRANT ALL PRIVILEGES ON *.* TO 'connect_server'@'127.0.0.1'"},
        {"SELECT COUNT(*) FROM mysql.user"},
        {"SET GLOBAL max_connections = 1"},
        {"CREATE DATABASE zumalo_elsewhere"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.statement);
        EXPECT_FALSE(db.tryExec(c.statement));
    }
    EXPECT_FALSE(std::filesystem::exists(outside));
    db.tryExec("DROP USER IF EXISTS 'zumalo_intruder'@'%'");
    db.tryExec("DROP DATABASE IF EXISTS zumalo_elsewhere");
}

} // namespace
