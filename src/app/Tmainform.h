#pragma once

#include "core/Basefunc.h"
#include "platform/Platform.h"
#include "ui/ContentBrowser.h"

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class ClickLabel;
class DbSession;
struct HttpResult;
class PanelStatusBar;
class PresenceChannel;
class QFrame;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class SpeedButton;
struct Session;
struct Settings;

// The main window. Its construction is the start-up: the login dialog, then the window
// filled from the database, the file service and the web. Its destruction is the shutdown.
class TMainForm final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMainForm)

public:
    // Runs the login dialog; true when the user logged in. Tests hand in their own.
    using LoginRunner = std::function<bool(TMainForm&)>;

    TMainForm(Session& session, DbSession& db, const Settings& settings, Platform& platform,
              LoginRunner runLogin = {});
    ~TMainForm() override;

    // Construction followed by the creation event, as the program starts the window.
    static std::unique_ptr<TMainForm> Launch(Session& session, DbSession& db,
                                             const Settings& settings, Platform& platform,
                                             LoginRunner runLogin = {});

    // The creation event: opens the presence channel and sends the login datagram.
    void FormCreate();
    // True once start-up asked the program to quit (login given up, service switched off).
    bool QuitRequested() const { return m_quitRequested; }

    // Paging (the handlers below call these).
    void LoadCategory(const std::string& table);
    void ShowPage(int page, const std::string& table);
    void RefreshCategory();
    void ActivateRow(ClickLabel* label);

    ContentBrowser& Browser() { return m_browser; }
    PresenceChannel* Presence() { return m_presence.get(); }
    const std::vector<std::string>& NoticeCaptions() const { return m_noticeCaptions; }
    const std::vector<std::string>& NoticeLinks() const { return m_noticeLinks; }
    const std::string& FirstBannerLink() const { return m_bannerLink1; }
    const std::string& SecondBannerLink() const { return m_bannerLink2; }
    QTimer& TemperatureTimer() { return m_temperatureTimer; }
    // Where the time stamps of new entries come from (the local clock by default).
    void SetClock(Clock clock) { m_clock = std::move(clock); }

    // Controls, under their design names.
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
    // In Panel2.
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
    // The eight rows and their badges, top to bottom.
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

    QTimer Timer1;

public slots:
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void SpeedButton8Click();
    void SpeedButton9Click();
    void SpeedButton10Click();
    void Timer1Timer();
    void Image1Click();
    void Image2Click();
    void Label15Click();
    void NoticeRefresh();
    // Replaces the online list with the names of the last list from the presence service.
    void FillOnlineList(const std::vector<std::string>& names);

private:
    void BuildLayout();
    void BuildContentPanel();
    void StartUp();
    void FetchBanners();
    void ShapeHintPanel();
    void ReadServiceRecord();
    void ReadLinkPage();
    void ShowTemperature();
    void SwitchCategory(Category::Kind kind);
    void SetMessageInputShown(bool shown);
    void ShowWarning(const QString& text);
    void FormDestroy();
    void RequestQuit();
    bool DefaultLogin();
    void DownloadTorrent(const std::string& link);
    void RowLabelMouseMove(ClickLabel* label);
    void RowLabelMouseLeave(ClickLabel* label);
    void SetRowHover(ClickLabel* label, bool hovered);
    HttpResult FetchServerFile(const std::string& path) const;

    Session& m_session;
    DbSession& m_db;
    const Settings& m_settings;
    Platform& m_platform;
    LoginRunner m_runLogin;

    ContentBrowser m_browser;
    std::unique_ptr<PresenceChannel> m_presence;
    QTimer m_temperatureTimer;
    std::vector<std::string> m_noticeCaptions;
    std::vector<std::string> m_noticeLinks;
    std::string m_bannerLink1;
    std::string m_bannerLink2;
    Clock m_clock;
    int m_captionIndex = -1;
    bool m_quitRequested = false;
    bool m_destroyed = false;
    int m_designHeight = 408;
};
