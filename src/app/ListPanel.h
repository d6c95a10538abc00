#pragma once

#include "core/Session.h"
#include "core/TimeStamp.h"
#include "ui/ContentBrowser.h"

#include <QObject>
#include <QString>

#include <string>

class ClickLabel;
class DbSession;
class QWidget;
class ServerFiles;
struct Platform;
struct Session;
struct Settings;
struct TMainFormControls;

// The four lists on the main window: the category buttons, paging, the rows and what a click
// on one opens (a torrent download, the video window, a quick post's page), posting to the
// board, and publishing a video or a quick post, after which the list on display is loaded
// again.
class ListPanel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListPanel)

public:
    ListPanel(QWidget& window, TMainFormControls& ui, Session& session, DbSession& db,
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

    // The design's handlers (TMainForm forwards to these).
    void PreviousPage();
    void NextPage();
    void GoToPage();
    void SetRowHover(ClickLabel* label, bool hovered);
    void ActivateRow(ClickLabel* label);
    void PostToBoard();
    void PublishVideo();
    void PublishQuickPost();

    ContentBrowser& Browser() { return m_browser; }
    const ContentBrowser& Browser() const { return m_browser; }
    // Where the time stamps of new entries come from (the local clock by default).
    void SetClock(Clock clock) { m_clock = std::move(clock); }

private:
    void DownloadTorrent(const std::string& link);
    void ShowWarning(const QString& text);

    QWidget& m_window;
    TMainFormControls& m_ui;
    Session& m_session;
    DbSession& m_db;
    const Settings& m_settings;
    Platform& m_platform;
    ServerFiles& m_files;
    ContentBrowser m_browser;
    Clock m_clock;
};
