#include "DialogFixture.h"

#include <string>

ScratchDatabase* DialogFixture::s_db = nullptr;

void DialogFixture::SetUpTestSuite()
{
    s_db = new ScratchDatabase(::testing::UnitTest::GetInstance()->current_test_suite()->name());
}

void DialogFixture::TearDownTestSuite()
{
    delete s_db;
    s_db = nullptr;
}

long DialogFixture::Questions()
{
    EXPECT_TRUE(m_db.Query("show session status like 'Questions'"));
    const auto row = m_db.FetchRow();
    m_db.FreeResult();
    return row ? std::stol(Field(*row, 1)) : -1;
}
