#pragma once

#include "core/Basefunc.h"
#include "ui/ContentBrowser.h"

#include <QObject>
#include <QString>

#include <string>
#include <vector>

class ClickLabel;
class DbSession;
class PanelStatusBar;
class QFrame;
class QLineEdit;
class QWidget;
class ServerFiles;
class SpeedButton;
struct Platform;
struct Session;
struct Settings;

// The four lists on the main window: the category buttons, paging, the rows and what a click
// on one opens (a torrent download, the video window, a quick post's page), posting to the
// board, and publishing a video or a quick post, after which the list on display is loaded
// again.
class ListPanel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListPanel)

public:
    // The window's controls the lists work on; the panel binds their events itself.
    struct Controls
    {
        SpeedButton* SpeedButton5; // the four lists
        SpeedButton* SpeedButton4;
        SpeedButton* SpeedButton8;
        SpeedButton* SpeedButton10;
        SpeedButton* SpeedButton1; // refresh
        SpeedButton* SpeedButton2; // previous, next, go to the page in Edit2
        SpeedButton* SpeedButton3;
        SpeedButton* SpeedButton6;
        QLineEdit* Edit2;
        ClickLabel* Label12; // the page number
        std::vector<ClickLabel*> RowLabels;
        std::vector<ClickLabel*> RowIcons;
        QLineEdit* Edit1; // the board's input row
        SpeedButton* SpeedButton9;
        SpeedButton* SpeedButton7;  // publish a video
        SpeedButton* SpeedButton11; // publish a quick post
        QFrame* Panel3;             // the chat room, which a list replaces
        PanelStatusBar* sb;
    };

    ListPanel(QWidget& window, Controls ui, Session& session, DbSession& db,
              const Settings& settings, Platform& platform, ServerFiles& files);

    // The design texts of the rows go before the window is first shown.
    void ClearRows();
    // Counts the named list and shows page 1 of the list on display.
    void LoadCategory(Category::Kind list);
    // Page 1 of the list on display, once it is counted.
    void ShowCountedCategory();
    void ShowPage(int page, Category::Kind list);
    void RefreshCategory();
    // Counts the list and, when it could be counted, shows its page 1 with its input row
    // (the board's only).
    void SwitchCategory(Category::Kind kind);
    void SetMessageInputShown(bool shown);

    // The design's handlers, bound to their controls by the panel.
    void SpeedButton5Click() { SwitchCategory(Category::Kind::Torrents); }
    void SpeedButton4Click() { SwitchCategory(Category::Kind::Videos); }
    void SpeedButton8Click() { SwitchCategory(Category::Kind::Board); }
    void SpeedButton10Click() { SwitchCategory(Category::Kind::QuickPosts); }
    void SpeedButton1Click() { RefreshCategory(); }
    void SpeedButton2Click(); // the previous page
    void SpeedButton3Click(); // the next page
    void SpeedButton6Click(); // the page typed into Edit2
    // Each row label's events; the label is the sender.
    void RowLabelClick(ClickLabel* label);
    void RowLabelMouseMove(ClickLabel* label) { SetRowHover(label, true); }
    void RowLabelMouseLeave(ClickLabel* label) { SetRowHover(label, false); }
    void SpeedButton9Click();  // post Edit1 to the board
    void SpeedButton7Click();  // the upload dialog
    void SpeedButton11Click(); // the quick-post dialog

    ContentBrowser& Browser() { return m_browser; }
    const ContentBrowser& Browser() const { return m_browser; }
    // Where the time stamps of new entries come from (the local clock by default).
    void SetClock(Clock clock) { m_clock = std::move(clock); }

private:
    void SetRowHover(ClickLabel* label, bool hovered);
    void DownloadTorrent(const std::string& link);
    void ShowWarning(const QString& text);

    QWidget& m_window;
    Controls m_ui;
    Session& m_session;
    DbSession& m_db;
    const Settings& m_settings;
    Platform& m_platform;
    ServerFiles& m_files;
    ContentBrowser m_browser;
    Clock m_clock;
};
