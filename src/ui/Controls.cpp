#include "ui/Controls.h"

#include <QKeyEvent>
#include <QMouseEvent>

ClickLabel::ClickLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
    // Captions come from the database and other users: shown as typed, never as markup.
    setTextFormat(Qt::PlainText);
    setMouseTracking(true);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void ClickLabel::mouseMoveEvent(QMouseEvent* event)
{
    emit mouseMoved();
    QLabel::mouseMoveEvent(event);
}

void ClickLabel::leaveEvent(QEvent* event)
{
    emit mouseLeft();
    QLabel::leaveEvent(event);
}

void SetCaption(QLabel* label, const QString& text)
{
    label->setText(text);
    label->adjustSize();
}

SpeedButton::SpeedButton(const QString& caption, QWidget* parent, bool flat)
    : QToolButton(parent)
{
    setText(caption);
    setAutoRaise(flat);
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
}

PanelStatusBar::PanelStatusBar(const std::vector<int>& widths, QWidget* parent)
    : QWidget(parent)
    , m_widths(widths)
{
    setAutoFillBackground(true);
    for (std::size_t i = 0; i < widths.size(); ++i) {
        auto* panel = new QLabel(this);
        panel->setTextFormat(Qt::PlainText);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setContentsMargins(1, 0, 0, 0);
        m_panels.push_back(panel);
    }
}

void PanelStatusBar::SetPanelText(int index, const QString& text)
{
    m_panels.at(static_cast<std::size_t>(index))->setText(text);
}

QString PanelStatusBar::PanelText(int index) const
{
    return m_panels.at(static_cast<std::size_t>(index))->text();
}

void PanelStatusBar::resizeEvent(QResizeEvent* event)
{
    int x = 0;
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        const bool last = i + 1 == m_panels.size();
        const int w = last ? std::max(0, width() - x) : m_widths[i];
        m_panels[i]->setGeometry(x, 1, w - 2, height() - 1);
        x += w;
    }
    QWidget::resizeEvent(event);
}

QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, const QFont& font)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->adjustSize();
    label->move(x, y);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const QRect& geometry, const QFont& font)
{
    auto* edit = new QLineEdit(parent);
    edit->setFont(font);
    edit->setGeometry(geometry);
    return edit;
}

void MaskPassword(QLineEdit* edit)
{
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

void ButtonOnlyDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return
        || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
