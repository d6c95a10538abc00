#include "ScratchDatabase.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

void Drain(MYSQL* c)
{
    do {
        if (MYSQL_RES* r = mysql_store_result(c))
            mysql_free_result(r);
    } while (mysql_more_results(c) && mysql_next_result(c) == 0);
}

} // namespace

std::string ScratchDatabase::ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

ScratchDatabase::ScratchDatabase(const std::string& name, bool withSampleData)
    // The process id keeps test runs of several checkouts on one server apart.
    : m_name("zt_" + name + "_" + std::to_string(::getpid()))
{
    m_admin = mysql_init(nullptr);
    mysql_options(m_admin, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    unsigned timeout = 5;
    mysql_options(m_admin, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    if (!mysql_real_connect(m_admin, "127.0.0.1", "zumalo_test", "zumalo_test", nullptr,
                            Settings::Defaults().dbPort, nullptr, CLIENT_MULTI_STATEMENTS)) {
        const std::string why = mysql_error(m_admin);
        mysql_close(m_admin);
        m_admin = nullptr;
        throw std::runtime_error("the local MariaDB is not reachable (scripts/dev-stack start): "
                                 + why);
    }
    exec("DROP DATABASE IF EXISTS " + m_name);
    exec("CREATE DATABASE " + m_name + " CHARACTER SET utf8mb4 COLLATE utf8mb4_bin");
    exec("USE " + m_name);
    exec(ReadFile(std::string(ZUMALO_TEST_SOURCE_DIR) + "/db/schema.sql"));
    if (withSampleData)
        exec(ReadFile(std::string(ZUMALO_TEST_SOURCE_DIR) + "/db/seed.sql"));
}

ScratchDatabase::~ScratchDatabase()
{
    if (m_admin) {
        const std::string drop = "DROP DATABASE IF EXISTS " + m_name;
        mysql_real_query(m_admin, drop.data(), drop.size());
        Drain(m_admin);
        mysql_close(m_admin);
    }
}

Settings ScratchDatabase::settings() const
{
    Settings s = Settings::Defaults();
    s.dbName = m_name;
    return s;
}

DbSession::Options ScratchDatabase::options() const
{
    return DbSession::Options::From(settings());
}

bool ScratchDatabase::tryExec(const std::string& sqlUtf8)
{
    const bool ok = mysql_real_query(m_admin, sqlUtf8.data(), sqlUtf8.size()) == 0;
    Drain(m_admin);
    return ok;
}

void ScratchDatabase::exec(const std::string& sqlUtf8)
{
    if (mysql_real_query(m_admin, sqlUtf8.data(), sqlUtf8.size()) != 0) {
        ADD_FAILURE() << "admin statement failed: " << mysql_error(m_admin) << "\n"
                      << sqlUtf8.substr(0, 300);
        return;
    }
    do {
        if (MYSQL_RES* r = mysql_store_result(m_admin))
            mysql_free_result(r);
        else if (mysql_errno(m_admin))
            ADD_FAILURE() << "admin statement failed: " << mysql_error(m_admin);
    } while (mysql_more_results(m_admin) && mysql_next_result(m_admin) == 0);
}

std::vector<std::vector<std::optional<std::string>>>
ScratchDatabase::rows(const std::string& sqlUtf8)
{
    std::vector<std::vector<std::optional<std::string>>> out;
    if (mysql_real_query(m_admin, sqlUtf8.data(), sqlUtf8.size()) != 0) {
        ADD_FAILURE() << "admin query failed: " << mysql_error(m_admin);
        return out;
    }
    MYSQL_RES* r = mysql_store_result(m_admin);
    if (!r)
        return out;
    const unsigned n = mysql_num_fields(r);
    while (MYSQL_ROW row = mysql_fetch_row(r)) {
        const unsigned long* len = mysql_fetch_lengths(r);
        auto& cols = out.emplace_back();
        for (unsigned i = 0; i < n; ++i)
            cols.push_back(row[i] ? std::optional<std::string>(std::string(row[i], len[i]))
                                  : std::nullopt);
    }
    mysql_free_result(r);
    Drain(m_admin);
    return out;
}

std::string ScratchDatabase::scalar(const std::string& sqlUtf8)
{
    const auto r = rows(sqlUtf8);
    return r.empty() || r[0].empty() || !r[0][0] ? std::string() : *r[0][0];
}

void ScratchDatabase::clear()
{
    exec("DELETE FROM zumalo_userinfo; DELETE FROM zumalo_sys; DELETE FROM zumalo_zhongzi; "
         "DELETE FROM zumalo_sp; DELETE FROM zumalo_news; DELETE FROM zumalo_bodysay");
}
