#include "PrivateMariaDb.h"

#include "ClosedPort.h"
#include "ScratchDatabase.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace {

void Drain(MYSQL* c)
{
    do {
        if (MYSQL_RES* r = mysql_store_result(c))
            mysql_free_result(r);
    } while (mysql_more_results(c) && mysql_next_result(c) == 0);
}

} // namespace

PrivateMariaDb::PrivateMariaDb()
{
    char pattern[] = "/tmp/zumalo-mariadb-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("cannot make a data folder");
    m_dir = pattern;
    // A root without a password on the server's own socket: the test may run as anyone.
    const std::string install = "mariadb-install-db --no-defaults --datadir=" + m_dir
        + "/data --user=root --auth-root-authentication-method=normal --skip-test-db >" + m_dir
        + "/install.log 2>&1";
    if (std::system(install.c_str()) != 0)
        throw std::runtime_error("mariadb-install-db failed; see " + m_dir + "/install.log");
    m_port = ClosedPort();
    Start();
    exec("CREATE DATABASE test CHARACTER SET utf8mb4 COLLATE utf8mb4_bin");
    exec("CREATE USER 'connect_server'@'localhost' IDENTIFIED BY '40725913'");
    exec("CREATE USER 'connect_server'@'127.0.0.1' IDENTIFIED BY '40725913'");
    exec("USE test");
    exec(ScratchDatabase::ReadFile(std::string(ZUMALO_TEST_SOURCE_DIR) + "/db/schema.sql"));
    exec(ScratchDatabase::ReadFile(std::string(ZUMALO_TEST_SOURCE_DIR) + "/db/grants.sql"));
}

PrivateMariaDb::~PrivateMariaDb()
{
    CloseAdmin();
    if (m_pid > 0) {
        ::kill(m_pid, SIGCONT);
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

Settings PrivateMariaDb::settings(unsigned connectSeconds, unsigned readSeconds) const
{
    Settings s = Settings::Defaults();
    s.dbPort = m_port;
    s.dbName = "test";
    s.dbConnectTimeoutSeconds = connectSeconds;
    s.dbReadTimeoutSeconds = readSeconds;
    s.dbWriteTimeoutSeconds = readSeconds;
    return s;
}

void PrivateMariaDb::Start()
{
    const std::string datadir = "--datadir=" + m_dir + "/data";
    const std::string socket = "--socket=" + m_dir + "/mariadb.sock";
    const std::string port = "--port=" + std::to_string(m_port);
    const std::string log = "--log-error=" + m_dir + "/mariadb.err";
    const std::string pidFile = "--pid-file=" + m_dir + "/mariadb.pid";
    m_pid = ::fork();
    if (m_pid == 0) {
        // The server's own chatter goes to its folder, not into the test's output.
        const std::string out = m_dir + "/mariadb.out";
        if (std::FILE* f = std::fopen(out.c_str(), "a")) {
            ::dup2(::fileno(f), STDOUT_FILENO);
            ::dup2(::fileno(f), STDERR_FILENO);
        }
        ::execlp("mariadbd", "mariadbd", "--no-defaults", "--user=root", datadir.c_str(),
                 socket.c_str(), port.c_str(), "--bind-address=127.0.0.1", log.c_str(),
                 pidFile.c_str(), "--skip-log-bin", "--innodb-buffer-pool-size=16M",
                 "--innodb-log-file-size=8M", "--character-set-server=utf8mb4",
                 "--collation-server=utf8mb4_bin",
                 "--sql-mode=STRICT_ALL_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION",
                 "--skip-name-resolve", "--performance-schema=OFF", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 300; ++i) {
        if (Admin())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    throw std::runtime_error("the private MariaDB did not start; see " + m_dir + "/mariadb.err");
}

void PrivateMariaDb::Kill()
{
    CloseAdmin();
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

void PrivateMariaDb::Pause()
{
    CloseAdmin();
    ::kill(m_pid, SIGSTOP);
}

void PrivateMariaDb::Resume()
{
    ::kill(m_pid, SIGCONT);
}

MYSQL* PrivateMariaDb::Admin()
{
    if (m_admin)
        return m_admin;
    m_admin = mysql_init(nullptr);
    mysql_options(m_admin, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    unsigned timeout = 5;
    mysql_options(m_admin, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    mysql_options(m_admin, MYSQL_OPT_READ_TIMEOUT, &timeout);
    const std::string socket = m_dir + "/mariadb.sock";
    if (!mysql_real_connect(m_admin, nullptr, "root", "", nullptr, 0, socket.c_str(),
                            CLIENT_MULTI_STATEMENTS)) {
        mysql_close(m_admin);
        m_admin = nullptr;
    }
    return m_admin;
}

void PrivateMariaDb::CloseAdmin()
{
    if (m_admin)
        mysql_close(m_admin);
    m_admin = nullptr;
}

void PrivateMariaDb::exec(const std::string& sqlUtf8)
{
    MYSQL* admin = Admin();
    if (!admin || mysql_real_query(admin, sqlUtf8.data(), sqlUtf8.size()) != 0) {
        ADD_FAILURE() << "admin statement failed: " << (admin ? mysql_error(admin) : "no server")
                      << "\n"
                      << sqlUtf8.substr(0, 300);
        return;
    }
    Drain(admin);
}

std::string PrivateMariaDb::scalar(const std::string& sqlUtf8)
{
    MYSQL* admin = Admin();
    if (!admin || mysql_real_query(admin, sqlUtf8.data(), sqlUtf8.size()) != 0) {
        ADD_FAILURE() << "admin query failed: " << (admin ? mysql_error(admin) : "no server");
        return {};
    }
    std::string out;
    if (MYSQL_RES* r = mysql_store_result(admin)) {
        if (MYSQL_ROW row = mysql_fetch_row(r); row && row[0])
            out.assign(row[0], mysql_fetch_lengths(r)[0]);
        mysql_free_result(r);
    }
    Drain(admin);
    return out;
}
