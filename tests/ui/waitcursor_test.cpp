#include "ui/WaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

Qt::CursorShape Shown()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? cursor->shape() : Qt::ArrowCursor;
}

} // namespace

TEST(WaitCursor, ShowsWhileTheCallRunsAndGoesHoweverItEnds)
{
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    {
        const WaitCursor outer;
        EXPECT_EQ(Shown(), Qt::WaitCursor);
        {
            const WaitCursor inner;
            EXPECT_EQ(Shown(), Qt::WaitCursor);
        }
        EXPECT_EQ(Shown(), Qt::WaitCursor);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    try {
        const WaitCursor waiting;
        throw std::runtime_error("the call failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
