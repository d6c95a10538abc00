#include "platform/WaitCursor.h"

#include "core/Waits.h"

#include <QCursor>
#include <QGuiApplication>

void ShowWaitCursorDuring(Waits& waits)
{
    waits.Listen([] { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); },
                 [] { QGuiApplication::restoreOverrideCursor(); });
}
