#include "ui/WaitCursor.h"

#include "db/DbSession.h"

#include <QCursor>
#include <QGuiApplication>

namespace {

// The GUI thread's only: every wait runs on it.
std::function<void()> companionBegin;
std::function<void()> companionEnd;

void ShowWaitCursor()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    if (companionBegin)
        companionBegin();
}

void RestoreCursor()
{
    if (companionEnd)
        companionEnd();
    QGuiApplication::restoreOverrideCursor();
}

} // namespace

WaitCursor::WaitCursor()
{
    ShowWaitCursor();
}

WaitCursor::~WaitCursor()
{
    RestoreCursor();
}

void InstallWaitCursor(DbSession& db)
{
    db.SetBusyHook({ShowWaitCursor, RestoreCursor});
}

void SetWaitCompanion(std::function<void()> begin, std::function<void()> end)
{
    companionBegin = std::move(begin);
    companionEnd = std::move(end);
}
