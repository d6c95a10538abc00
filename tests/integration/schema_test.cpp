// db/schema.sql alone makes a database a server can run on: the one service row is there,
// with an empty notice and the service on, so that an operator's notice is one UPDATE away.

#include "ScratchDatabase.h"

#include <gtest/gtest.h>

namespace {

TEST(Schema, CreatesTheOneServiceRow)
{
    ScratchDatabase db("schema", false);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM zumalo_sys"), "1");
    EXPECT_EQ(db.scalar("SELECT CONCAT('[', sys_message, '] ', sys_enable) FROM zumalo_sys"),
              "[] 1");

    // Loading the schema again, as an upgrade would, keeps the operator's notice.
    db.exec("UPDATE zumalo_sys SET sys_message = 'notice'");
    db.exec(ScratchDatabase::ReadFile(ZUMALO_TEST_SOURCE_DIR "/db/schema.sql"));
    EXPECT_EQ(db.scalar("SELECT GROUP_CONCAT(sys_message) FROM zumalo_sys"), "notice");

    // The sample data fills that row rather than adding a second one.
    db.exec(ScratchDatabase::ReadFile(ZUMALO_TEST_SOURCE_DIR "/db/seed.sql"));
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM zumalo_sys"), "1");
    EXPECT_NE(db.scalar("SELECT sys_message FROM zumalo_sys"), "notice");
}

} // namespace
