// What the database lets in: only texts the client's gb2312 connection can carry, and for the
// program's account only what its statements need.
#include "core/Settings.h"
#include "db/DbSession.h"

#include "DbAccounts.h"
#include "ScratchDatabase.h"

#include <gtest/gtest.h>

// A text that GBK has but GB2312 has not (們) would reach every client as "?" and could
// then match another row on activation: the tables refuse it from any connection.
TEST(Storage, TextsOutsideGb2312AreRefusedFromAnyConnection)
{
    ScratchDatabase db("storage");
    struct Case
    {
        const char* table;
        const char* insert;
    };
    const Case cases[] = {
        {"zumalo_zhongzi", "INSERT INTO zumalo_zhongzi(text) VALUES ('%s')"},
        {"zumalo_sp", "INSERT INTO zumalo_sp(text) VALUES ('%s')"},
        {"zumalo_news", "INSERT INTO zumalo_news(text) VALUES ('%s')"},
        {"zumalo_bodysay", "INSERT INTO zumalo_bodysay(saybody, saytime) VALUES ('%s', NOW())"},
        {"zumalo_userinfo", "INSERT INTO zumalo_userinfo(username, userpwd) VALUES ('%s', 'p')"},
        {"zumalo_sys", "INSERT INTO zumalo_sys(sys_message) VALUES ('%s')"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        const auto insert = [&c](const std::string& text) {
            std::string sql = c.insert;
            return sql.replace(sql.find("%s"), 2, text);
        };
        const std::string count = std::string("SELECT COUNT(*) FROM ") + c.table;
        const int before = std::stoi(db.scalar(count)); // the schema's own service row
        EXPECT_FALSE(db.tryExec(insert("我們")));
        EXPECT_TRUE(db.tryExec(insert("我们")));
        EXPECT_EQ(db.scalar(count), std::to_string(before + 1));
    }
}

// The program's account on the real database of the local stack: every statement of the
// client is allowed, anything else refused. Statements that match no row keep the sample
// data as it is.
TEST(Storage, ProgramAccountMayDoWhatTheClientDoesAndNothingMore)
{
    DbSession db(Settings::Defaults());
    ASSERT_TRUE(OpenAsProgram(db));
    struct Case
    {
        const char* statement;
        bool allowed;
    };
    const Case cases[] = {
        {"select * from zumalo_userinfo where 1 = 0", true},
        {"select sys_message from zumalo_sys where 1 = 0", true},
        {"select link, allowScore from zumalo_zhongzi where 1 = 0", true},
        {"insert into zumalo_userinfo(username, userpwd) select 'x', 'y' from dual where 1 = 0",
         true},
        {"insert into zumalo_sp(text) select 'x' from dual where 1 = 0", true},
        {"insert into zumalo_news(text) select 'x' from dual where 1 = 0", true},
        {"insert into zumalo_bodysay(saybody, saytime) select 'x', now() from dual where 1 = 0",
         true},
        {"update zumalo_userinfo set userscore = '1' where 1 = 0", true},
        {"update zumalo_userinfo set userpwd = 'x' where 1 = 0", true},
        {"update zumalo_userinfo set username = 'x' where 1 = 0", false},
        {"update zumalo_sp set link = 'x' where 1 = 0", false},
        {"update zumalo_sys set sys_message = 'x' where 1 = 0", false},
        {"insert into zumalo_zhongzi(text) select 'x' from dual where 1 = 0", false},
        {"insert into zumalo_sys(sys_message) select 'x' from dual where 1 = 0", false},
        {"delete from zumalo_news where 1 = 0", false},
        {"delete from zumalo_userinfo where 1 = 0", false},
        {"drop table zumalo_bodysay", false},
        {"create table zumalo_extra(id int)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        EXPECT_EQ(db.Query(c.statement), c.allowed);
        db.FreeResult();
    }
}
