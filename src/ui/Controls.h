#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

#include <vector>

// A dialog's plain label in font, sized to its text, with its top left at (x, y).
QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, const QFont& font);
// A dialog's edit box in font with the given geometry.
QLineEdit* MakeEdit(QWidget* parent, const QRect& geometry, const QFont& font);
// Shows a "*" for every character typed, whatever the style's own mask character is.
void MaskPassword(QLineEdit* edit);

// A label that reports clicks, pointer movement and the pointer leaving, the events the
// window binds its handlers to. Also serves as a picture (setPixmap).
class ClickLabel final : public QLabel
{
    Q_OBJECT
public:
    explicit ClickLabel(const QString& text, QWidget* parent);

signals:
    void clicked();
    void mouseMoved();
    void mouseLeft();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

// Sets a label's text and fits the label to it from its left edge, as the design's
// auto-size labels grow with their text.
void SetCaption(QLabel* label, const QString& text);

// A dialog that only its own buttons end. The designed dialogs have no cancel button, so
// Escape does nothing, and no default button, so Enter presses nothing.
class ButtonOnlyDialog : public QDialog
{
    Q_OBJECT
public:
    using QDialog::QDialog;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// A flat speed button.
class SpeedButton final : public QToolButton
{
    Q_OBJECT
public:
    SpeedButton(const QString& caption, QWidget* parent, bool flat = true);
};

// A status bar of fixed-width panels; the last one takes the rest of the width.
class PanelStatusBar final : public QWidget
{
    Q_OBJECT
public:
    PanelStatusBar(const std::vector<int>& widths, QWidget* parent);
    void SetPanelText(int index, const QString& text);
    QString PanelText(int index) const;
    int PanelCount() const { return static_cast<int>(m_panels.size()); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::vector<int> m_widths;
    std::vector<QLabel*> m_panels;
};
