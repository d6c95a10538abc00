#include "ui/Placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

QWidget* MainWindowOf(QWidget* owner)
{
    QWidget* top = owner ? owner->window() : nullptr;
    while (top && top->parentWidget())
        top = top->parentWidget()->window();
    return top;
}

void CentreOverMainWindow(QWidget* dialog, QWidget* owner)
{
    QPoint centre;
    if (const QWidget* main = MainWindowOf(owner))
        centre = main->geometry().center();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        centre = screen->availableGeometry().center();
    else
        return;
    dialog->move(centre - dialog->rect().center());
}
