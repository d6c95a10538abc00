#include "platform/WaitCursor.h"

#include "client/DbWaits.h"
#include "core/Waits.h"
#include "db/DbSession.h"

#include "ClosedPort.h"
#include "DbAccounts.h"
#include "ScratchDatabase.h"

#include <QCursor>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

namespace {

Qt::CursorShape Shown()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? cursor->shape() : Qt::ArrowCursor;
}

} // namespace

TEST(WaitCursor, ShowsWhileTheCallRunsAndGoesHoweverItEnds)
{
    Waits waits;
    ShowWaitCursorDuring(waits);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    {
        const WaitScope outer(waits);
        EXPECT_EQ(Shown(), Qt::WaitCursor);
        {
            const WaitScope inner(waits);
            EXPECT_EQ(Shown(), Qt::WaitCursor);
        }
        EXPECT_EQ(Shown(), Qt::WaitCursor);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    try {
        const WaitScope waiting(waits);
        throw std::runtime_error("the call failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// The hook the program installs on its connection shows the wait cursor through every
// statement and connection attempt, and leaves the cursor as it found it, also after a
// failure and under a wait of the caller's own.
TEST(WaitCursor, ShowsDuringEveryDatabaseCallAndGoesAfterIt)
{
    const ScratchDatabase scratch("waitcursor");
    DbSession db(scratch.options());
    DbSession::Options closedPort = scratch.options();
    const ClosedPort closed;
    closedPort.port = closed.Port();
    DbSession refused(closedPort);
    // Chained before the installed end: the cursor shown when the call is done.
    std::vector<Qt::CursorShape> atEnd;
    Waits waits;
    ShowWaitCursorDuring(waits);
    for (DbSession* session : {&db, &refused}) {
        HookWaits(*session, waits);
        const DbSession::BusyHook installed = session->GetBusyHook();
        session->SetBusyHook({installed.begin, [&atEnd, installed] {
                                  atEnd.push_back(Shown());
                                  installed.end();
                              }});
    }

    struct Case
    {
        const char* name;
        std::function<bool()> call;
        bool ok;
    };
    const Case cases[] = {
        {"connect", [&] { return OpenAsProgram(db); }, true},
        {"statement", [&] { return db.Query("select 1"); }, true},
        {"bad SQL", [&] { return db.Query("selec 1"); }, false},
        {"closed port", [&] { return OpenAsProgram(refused); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        atEnd.clear();
        EXPECT_EQ(c.call(), c.ok);
        EXPECT_EQ(atEnd, std::vector{Qt::WaitCursor});
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }

    {
        const WaitScope outer(waits);
        EXPECT_TRUE(db.Query("select 1"));
        EXPECT_EQ(Shown(), Qt::WaitCursor);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
