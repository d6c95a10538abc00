#include "PrivateMariaDb.h"

#include "DbAccounts.h"
#include "ScratchDatabase.h"

#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <utility>

PrivateMariaDb::PrivateMariaDb(std::string optionFile)
    : m_optionFile(std::move(optionFile))
{
    char pattern[] = "/tmp/zumalo-mariadb-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("cannot make a data folder");
    m_dir = pattern;
    std::filesystem::create_directory(m_dir + "/files");
    // Not as root where the machine has the mysql user: the folder becomes that user's.
    if (::geteuid() == 0) {
        if (const passwd* mysql = ::getpwnam("mysql")) {
            m_user = "mysql";
            for (const std::string& path : {m_dir, m_dir + "/files"})
                if (::chown(path.c_str(), mysql->pw_uid, mysql->pw_gid) != 0)
                    throw std::runtime_error("cannot give " + path + " to the mysql user");
        }
    }
    // A root without a password on the server's own socket, in a folder no one else reaches:
    // the test may run as anyone.
    const std::string install = "mariadb-install-db --no-defaults --datadir=" + m_dir
        + "/data --user=" + m_user + " --auth-root-authentication-method=normal --skip-test-db >"
        + m_dir + "/install.log 2>&1";
    if (std::system(install.c_str()) != 0)
        throw std::runtime_error("mariadb-install-db failed; see " + m_dir + "/install.log");
    Start();
    exec("CREATE DATABASE test CHARACTER SET utf8mb4 COLLATE utf8mb4_bin");
    const DbAccount program = ProgramAccount();
    for (const char* host : {"localhost", "127.0.0.1"})
        exec("CREATE USER '" + program.user + "'@'" + host + "' IDENTIFIED BY '" + program.password
             + "'");
    exec("USE test");
    exec(ScratchDatabase::SourceFile("schema.sql"));
    exec(ScratchDatabase::SourceFile("grants.sql"));
}

PrivateMariaDb::~PrivateMariaDb()
{
    m_admin.Close();
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
    s.dbPort = port();
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
    const std::string port = "--port=" + std::to_string(m_port.Port());
    const std::string log = "--log-error=" + m_dir + "/mariadb.err";
    const std::string pidFile = "--pid-file=" + m_dir + "/mariadb.pid";
    const std::string defaults =
        m_optionFile.empty() ? "--no-defaults" : "--defaults-file=" + m_optionFile;
    const std::string user = "--user=" + m_user;
    // Files go to the server's own folder only.
    const std::string files = "--secure-file-priv=" + m_dir + "/files";
    m_pid = ::fork();
    if (m_pid == 0) {
        // The server ends with the test, also when the test crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The server's own chatter goes to its folder, not into the test's output.
        const std::string out = m_dir + "/mariadb.out";
        if (std::FILE* f = std::fopen(out.c_str(), "a")) {
            ::dup2(::fileno(f), STDOUT_FILENO);
            ::dup2(::fileno(f), STDERR_FILENO);
        }
        // No extra_port: the port of an option file is not the test's to take.
        ::execlp("mariadbd", "mariadbd", defaults.c_str(), user.c_str(), "--extra-port=0",
                 datadir.c_str(), files.c_str(), socket.c_str(), port.c_str(),
                 "--bind-address=127.0.0.1", log.c_str(), pidFile.c_str(), "--skip-log-bin",
                 "--innodb-buffer-pool-size=16M", "--innodb-log-file-size=8M",
                 "--character-set-server=utf8mb4", "--collation-server=utf8mb4_bin",
                 "--sql-mode=STRICT_ALL_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION",
                 "--skip-name-resolve", "--performance-schema=OFF", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 300; ++i) {
        if (Admin().IsOpen())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    throw std::runtime_error("the private MariaDB did not start; see " + m_dir + "/mariadb.err");
}

void PrivateMariaDb::Kill()
{
    m_admin.Close();
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

namespace {

bool AllThreadsStopped(pid_t pid)
{
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream stat(task.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // "pid (comm) S ...": the state follows the command's closing parenthesis.
        const auto close = line.rfind(')');
        if (close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'T')
            return false;
    }
    return !error;
}

} // namespace

void PrivateMariaDb::Pause()
{
    m_admin.Close();
    ::kill(m_pid, SIGSTOP);
    // The stop reaches each of the server's threads on its own; until every one has stopped,
    // a thread that is running may still answer a statement.
    for (int i = 0; i < 200 && !AllThreadsStopped(m_pid); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void PrivateMariaDb::Resume()
{
    ::kill(m_pid, SIGCONT);
}

AdminConnection& PrivateMariaDb::Admin()
{
    // A root without a password on the server's own socket.
    if (!m_admin.IsOpen())
        m_admin.Connect("", 0, m_dir + "/mariadb.sock", "root", "", 5);
    return m_admin;
}
