#include "ui/WaitCursor.h"

#include "db/DbSession.h"

#include <QCursor>
#include <QGuiApplication>

namespace {

void ShowWaitCursor()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void RestoreCursor()
{
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
