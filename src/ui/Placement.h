#pragma once

class QWidget;

// The program's main window: the top of owner's chain of owners, or null without an owner.
QWidget* MainWindowOf(QWidget* owner);

// Moves a dialog so that its centre is the main window's centre, or the screen's when it has
// no owner. The main window counts even while hidden (the login runs before it shows).
void CentreOverMainWindow(QWidget* dialog, QWidget* owner);
