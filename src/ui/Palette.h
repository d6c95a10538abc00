#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

// The colours of the windows, under the names the designs use.
namespace palette {

inline const QColor SkyBlue(166, 202, 240);                  // the main window's background
inline const QColor MoneyGreen(192, 220, 192);               // the hint bubble, the login dialog
inline const QColor Teal(0, 128, 128);                       // the temperature
inline const QColor Red(255, 0, 0);                          // the hints of the publishing dialogs
inline const QColor GradientActiveCaption(0xb9, 0xd1, 0xea); // the video window and its player

} // namespace palette

// Gives one role of a widget's palette a colour, leaving the others as they are.
inline void SetColor(QWidget* widget, QPalette::ColorRole role, const QColor& color)
{
    QPalette p = widget->palette();
    p.setColor(role, color);
    widget->setPalette(p);
}

// The colour of a label's or an edit's text.
inline void SetTextColor(QWidget* widget, const QColor& color)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Text, color);
    widget->setPalette(p);
}
