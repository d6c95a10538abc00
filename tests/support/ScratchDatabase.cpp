#include "ScratchDatabase.h"

#include "DbAccounts.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

std::string ScratchDatabase::ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string ScratchDatabase::SourceFile(const std::string& name)
{
    return ReadFile(std::string(ZUMALO_TEST_SOURCE_DIR) + "/db/" + name);
}

ScratchDatabase::ScratchDatabase(const std::string& name, bool withSampleData)
    : ScratchDatabase(name, OwnSchema{SourceFile("schema.sql")})
{
    if (withSampleData)
        exec(SourceFile("seed.sql"));
}

ScratchDatabase::ScratchDatabase(const std::string& name, const OwnSchema& schema)
    // The process id keeps test runs of several checkouts on one server apart.
    : m_name("zt_" + name + "_" + std::to_string(::getpid()))
{
    const DbAccount admin = TestAdminAccount();
    if (!m_admin.Connect("127.0.0.1", Settings::Defaults().dbPort, "", admin.user, admin.password))
        throw std::runtime_error("the local MariaDB is not reachable (scripts/dev-stack start): "
                                 + m_admin.error());
    exec("DROP DATABASE IF EXISTS " + m_name);
    exec("CREATE DATABASE " + m_name + " CHARACTER SET utf8mb4 COLLATE utf8mb4_bin");
    exec("USE " + m_name);
    exec(schema.schemaSql);
}

ScratchDatabase::~ScratchDatabase()
{
    if (m_admin.IsOpen())
        m_admin.tryExec("DROP DATABASE IF EXISTS " + m_name);
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

void ScratchDatabase::clear()
{
    exec("DELETE FROM zumalo_userinfo; DELETE FROM zumalo_sys; DELETE FROM zumalo_zhongzi; "
         "DELETE FROM zumalo_sp; DELETE FROM zumalo_news; DELETE FROM zumalo_bodysay");
}
