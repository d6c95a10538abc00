#include "AdminConnection.h"

#include <gtest/gtest.h>

bool AdminConnection::Connect(const std::string& host, unsigned port, const std::string& socket,
                              const std::string& user, const std::string& password,
                              unsigned readSeconds)
{
    Close();
    m_mysql = mysql_init(nullptr);
    mysql_options(m_mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    unsigned timeout = 5;
    mysql_options(m_mysql, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    if (readSeconds > 0)
        mysql_options(m_mysql, MYSQL_OPT_READ_TIMEOUT, &readSeconds);
    if (!mysql_real_connect(m_mysql, host.empty() ? nullptr : host.c_str(), user.c_str(),
                            password.c_str(), nullptr, port,
                            socket.empty() ? nullptr : socket.c_str(), CLIENT_MULTI_STATEMENTS)) {
        m_error = mysql_error(m_mysql);
        Close();
        return false;
    }
    return true;
}

void AdminConnection::Close()
{
    if (m_mysql)
        mysql_close(m_mysql);
    m_mysql = nullptr;
}

bool AdminConnection::Drain()
{
    bool ok = true;
    do {
        if (MYSQL_RES* r = mysql_store_result(m_mysql))
            mysql_free_result(r);
        else if (mysql_errno(m_mysql))
            ok = false;
    } while (mysql_more_results(m_mysql) && mysql_next_result(m_mysql) == 0);
    if (mysql_errno(m_mysql))
        ok = false;
    return ok;
}

bool AdminConnection::tryExec(const std::string& sqlUtf8)
{
    if (!m_mysql || mysql_real_query(m_mysql, sqlUtf8.data(), sqlUtf8.size()) != 0)
        return false;
    return Drain();
}

void AdminConnection::exec(const std::string& sqlUtf8)
{
    if (!tryExec(sqlUtf8))
        ADD_FAILURE() << "admin statement failed: "
                      << (m_mysql ? mysql_error(m_mysql) : "no connection") << "\n"
                      << sqlUtf8.substr(0, 300);
}

std::vector<std::vector<std::optional<std::string>>>
AdminConnection::rows(const std::string& sqlUtf8)
{
    std::vector<std::vector<std::optional<std::string>>> out;
    if (!m_mysql || mysql_real_query(m_mysql, sqlUtf8.data(), sqlUtf8.size()) != 0) {
        ADD_FAILURE() << "admin query failed: "
                      << (m_mysql ? mysql_error(m_mysql) : "no connection");
        return out;
    }
    if (MYSQL_RES* r = mysql_store_result(m_mysql)) {
        const unsigned n = mysql_num_fields(r);
        while (MYSQL_ROW row = mysql_fetch_row(r)) {
            const unsigned long* len = mysql_fetch_lengths(r);
            auto& cols = out.emplace_back();
            for (unsigned i = 0; i < n; ++i)
                cols.push_back(row[i] ? std::optional<std::string>(std::string(row[i], len[i]))
                                      : std::nullopt);
        }
        mysql_free_result(r);
    }
    Drain();
    return out;
}

std::string AdminConnection::scalar(const std::string& sqlUtf8)
{
    const auto r = rows(sqlUtf8);
    return r.empty() || r[0].empty() || !r[0][0] ? std::string() : *r[0][0];
}
