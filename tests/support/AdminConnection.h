#pragma once

#include <mysql.h>

#include <optional>
#include <string>
#include <vector>

// An administrator's connection to a MariaDB server for the test fixtures, in utf8mb4 (so what
// it reads is what the server really stores) and with several statements in one call. Every
// call reads all results of what it sent, so the next one starts clean.
class AdminConnection
{
public:
    AdminConnection() = default;
    ~AdminConnection() { Close(); }
    AdminConnection(const AdminConnection&) = delete;
    AdminConnection& operator=(const AdminConnection&) = delete;

    // Over TCP when socket is empty; false (and the reason in error()) when it fails. A read
    // that takes longer than readSeconds (0: no bound) fails.
    bool Connect(const std::string& host, unsigned port, const std::string& socket,
                 const std::string& user, const std::string& password, unsigned readSeconds = 0);
    void Close();
    bool IsOpen() const { return m_mysql != nullptr; }
    const std::string& error() const { return m_error; }
    // The server's word on the last statement that failed.
    std::string lastError() const { return m_mysql ? mysql_error(m_mysql) : m_error; }

    // Runs SQL (UTF-8); fails the test when the server refuses it.
    void exec(const std::string& sqlUtf8);
    // Runs SQL (UTF-8); false when the server refuses it.
    bool tryExec(const std::string& sqlUtf8);
    // The rows of a query, NULL as nullopt (UTF-8); fails the test when the server refuses it.
    std::vector<std::vector<std::optional<std::string>>> rows(const std::string& sqlUtf8);
    // The first column of the first row, "" when there is none.
    std::string scalar(const std::string& sqlUtf8);

private:
    // Reads and frees every result still waiting; false when one of them was an error.
    bool Drain();

    MYSQL* m_mysql = nullptr;
    std::string m_error;
};
