#pragma once

#include "AdminConnection.h"
#include "ClosedPort.h"

#include "core/Settings.h"

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

// A MariaDB server of the test's own, on its own port and data folder, with the database
// "test", the program's account, schema and grants as scripts/dev-stack makes them. The
// test may kill it, start it again, pause and resume it: faults that the shared stack must
// not suffer while other tests use it. Everything goes with the object.
class PrivateMariaDb
{
public:
    // With the server settings of an option file (db/mariadb.cnf) when one is given; the
    // places (folder, port, socket) and a small buffer pool are the test's own all the same.
    explicit PrivateMariaDb(std::string optionFile = {});
    ~PrivateMariaDb();
    PrivateMariaDb(const PrivateMariaDb&) = delete;
    PrivateMariaDb& operator=(const PrivateMariaDb&) = delete;

    // The program's settings pointed at this server, with the given bounds.
    Settings settings(unsigned connectSeconds, unsigned readSeconds) const;
    unsigned port() const { return static_cast<unsigned>(m_port.Port()); }
    // Where root logs in without a password.
    std::string socket() const { return m_dir + "/mariadb.sock"; }

    void Start();  // also after Kill: the same data, the same port
    void Kill();   // SIGKILL, as a crash
    void Pause();  // SIGSTOP: the server hangs, its sockets stay open
    void Resume(); // SIGCONT

    // Runs SQL (UTF-8) as the administrator; fails the test when the server refuses it.
    void exec(const std::string& sqlUtf8) { Admin().exec(sqlUtf8); }
    // The first column of the first row, "" when there is none.
    std::string scalar(const std::string& sqlUtf8) { return Admin().scalar(sqlUtf8); }

private:
    // Connected again after a restart.
    AdminConnection& Admin();

    std::string m_optionFile;
    std::string m_dir;
    std::string m_user = "root";
    // Held for the server while it is down too, so that it finds its port again.
    ClosedPort m_port = ClosedPort::ForServer();
    pid_t m_pid = -1;
    AdminConnection m_admin;
};
