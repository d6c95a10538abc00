#pragma once

#include "AdminConnection.h"

#include "core/Settings.h"
#include "db/DbSession.h"

#include <optional>
#include <string>
#include <vector>

// A database of its own for one test program on the local MariaDB (scripts/dev-stack):
// "zt_" + name, with the program's schema and, when asked, the sample data. It is dropped
// when the fixture ends.
class ScratchDatabase
{
public:
    explicit ScratchDatabase(const std::string& name, bool withSampleData = false);
    // A database whose tables an operator made otherwise: schemaSql instead of the program's
    // schema (UTF-8, several statements).
    struct OwnSchema
    {
        std::string schemaSql;
    };
    ScratchDatabase(const std::string& name, const OwnSchema& schema);
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    const std::string& name() const { return m_name; }
    // The program's settings pointed at this database.
    Settings settings() const;
    DbSession::Options options() const;

    // Runs SQL (UTF-8) as the administrator; fails the test when the server refuses it.
    void exec(const std::string& sqlUtf8) { m_admin.exec(sqlUtf8); }
    // Runs SQL (UTF-8) as the administrator; false when the server refuses it.
    bool tryExec(const std::string& sqlUtf8) { return m_admin.tryExec(sqlUtf8); }
    // The rows of a query, NULL as nullopt (UTF-8).
    std::vector<std::vector<std::optional<std::string>>> rows(const std::string& sqlUtf8)
    {
        return m_admin.rows(sqlUtf8);
    }
    // The first column of the first row, "" when there is none.
    std::string scalar(const std::string& sqlUtf8) { return m_admin.scalar(sqlUtf8); }
    // Empties the six tables.
    void clear();

    static std::string ReadFile(const std::string& path);
    // The program's schema, sample data and grants, from db/.
    static std::string SourceFile(const std::string& name);

private:
    std::string m_name;
    AdminConnection m_admin;
};
