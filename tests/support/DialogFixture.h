#pragma once

#include "FakePlatform.h"
#include "ScratchDatabase.h"

#include "core/Session.h"
#include "core/Settings.h"
#include "db/DbSession.h"

#include <gtest/gtest.h>

// A dialog's surroundings: a scratch database of the test suite's own (made before its first
// test, dropped after its last), the program's settings pointed at it, a session and an
// unopened database session, and the recording fakes of the platform stand-ins. Each test
// fills the tables it needs.
class DialogFixture : public ::testing::Test
{
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

    // Statements m_db has sent so far (this read counts itself).
    long Questions();

    static ScratchDatabase* s_db;
    Settings m_settings = s_db->settings();
    Session m_session;
    DbSession m_db{s_db->options()};
    FakePlatform m_fakes;
    Platform m_platform{m_fakes.bundle()};
};
