#pragma once

#include <QTimer>

#include <vector>

class ClickLabel;
class PanelStatusBar;
class QAction;
class QFrame;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class SpeedButton;

// The main window's controls under their design names, grouped as they sit on the window.
// TMainForm builds them (TmainformLayout.cpp); Qt's parent chain owns the widgets. A
// window that gains a control adds it here, in the group of its parent.
struct TMainFormControls
{
    // On the window.
    ClickLabel* Image12 = nullptr;
    ClickLabel* Label6 = nullptr;
    ClickLabel* Label1 = nullptr;
    ClickLabel* Image1 = nullptr;
    ClickLabel* Image2 = nullptr;
    QFrame* Panel2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    SpeedButton* SpeedButton9 = nullptr;
    QListWidget* lb = nullptr;
    ClickLabel* Panel1 = nullptr;
    QFrame* Panel4 = nullptr;
    PanelStatusBar* sb = nullptr;

    // In Panel2: the button bar, the rows and the pager.
    ClickLabel* Image11 = nullptr;
    SpeedButton* SpeedButton5 = nullptr;
    SpeedButton* SpeedButton4 = nullptr;
    SpeedButton* SpeedButton7 = nullptr;
    SpeedButton* SpeedButton8 = nullptr;
    SpeedButton* SpeedButton10 = nullptr;
    SpeedButton* SpeedButton11 = nullptr;
    SpeedButton* SpeedButton13 = nullptr;
    SpeedButton* SpeedButton15 = nullptr;
    SpeedButton* SpeedButton1 = nullptr;
    QFrame* Bevel1 = nullptr;
    SpeedButton* SpeedButton2 = nullptr;
    SpeedButton* SpeedButton3 = nullptr;
    ClickLabel* Label12 = nullptr;
    ClickLabel* Label15 = nullptr;
    ClickLabel* Label13 = nullptr;
    QLineEdit* Edit2 = nullptr;
    ClickLabel* Label14 = nullptr;
    SpeedButton* SpeedButton6 = nullptr;
    QFrame* Panel3 = nullptr;
    // The eight rows (Label2 ... Label11) and their badges (Image3 ... Image10), top to bottom.
    std::vector<ClickLabel*> RowLabels;
    std::vector<ClickLabel*> RowIcons;

    // In Panel3 (chat room).
    QPlainTextEdit* Memo1 = nullptr;
    QLineEdit* Edit3 = nullptr;
    SpeedButton* SpeedButton12 = nullptr;

    // In Panel4 (hint bubble).
    ClickLabel* Label17 = nullptr;
    ClickLabel* Label16 = nullptr;
    SpeedButton* SpeedButton14 = nullptr;

    // Components.
    QTimer Timer1;               // the rotating caption
    QMenu* PopupMenu1 = nullptr; // the pop-up of lb
    QAction* N1 = nullptr;       // "查看用户信息"
};
