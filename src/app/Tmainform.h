#pragma once

#include "app/TmainformControls.h"
#include "core/Basefunc.h"
#include "platform/Platform.h"
#include "ui/ContentBrowser.h"
#include "ui/ServerFiles.h"
#include "ui/WindowPrompts.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ClickLabel;
class DbSession;
class QPoint;

class KeepOnlineDuringWaits;
class PresenceChannel;
struct Session;
struct Settings;

// The main window. Its construction is the start-up: the login dialog, then the window
// filled from the database, the file service and the web. Its destruction is the shutdown.
//
// The code is split by concern: Tmainform.cpp start-up and shutdown, TmainformLayout.cpp
// the controls and their event bindings, TmainformBrowser.cpp the list, TmainformNotice.cpp
// the notice, banners, captions, temperature and update download, TmainformChat.cpp the
// online list, the chat room, the hint panel and the fold.
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

    // What the window holds beside its controls (which answer to their design names).
    const ContentBrowser& Browser() const { return m_browser; }
    PresenceChannel* Presence() { return m_presence.get(); }
    const std::vector<std::string>& NoticeCaptions() const { return m_noticeCaptions; }
    const std::string& FirstBannerLink() const { return m_bannerLink1; }
    const std::string& SecondBannerLink() const { return m_bannerLink2; }
    // Where the time stamps of new entries come from (the local clock by default).
    void SetClock(Clock clock) { m_clock = std::move(clock); }

public slots:
    // The rotating caption's tick (TmainformNotice.cpp); tests tick it themselves.
    void Timer1Timer();

private slots:
    // The design's handlers, each bound to its control's event (TmainformLayout.cpp).
    // The list (TmainformBrowser.cpp).
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void SpeedButton8Click();
    void SpeedButton9Click();
    void SpeedButton10Click();
    // Bound to each row label; the label is the sender.
    void RowLabelClick(ClickLabel* label);
    void RowLabelMouseMove(ClickLabel* label);
    void RowLabelMouseLeave(ClickLabel* label);
    // Publishing (TmainformPublish.cpp): the upload and quick-post dialogs.
    void SpeedButton7Click();
    void SpeedButton11Click();
    // The screen lock (TmainformLock.cpp).
    void SpeedButton15Click();
    // Notice, banners and captions (TmainformNotice.cpp).
    void Image1Click();
    void Image2Click();
    void Image1MouseMove();
    void Image2MouseMove();
    void Label15Click();
    void Label15MouseMove();
    void Label15MouseLeave();
    void NoticeRefresh();
    void Label6MouseMove();
    void Label6MouseLeave();
    void Label6Click();
    // The online list, chat room, hint and fold (TmainformChat.cpp). The names of the last
    // list from the presence service replace the list.
    void FillOnlineList(const std::vector<std::string>& names);
    void lbMouseDown(Qt::MouseButton button, const QPoint& at);
    void lbDblClick();
    void N1Click();
    void SpeedButton12Click();
    void SpeedButton13Click();
    void SpeedButton14Click();
    void Panel1Click();
    // A chat line from the presence service (GBK), appended to the transcript.
    void AppendChatLine(const std::string& text);
    // The server's "Hint Command": the hint sound and the hint panel.
    void ShowHint();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Layout.
    void BuildLayout();
    void NameControls();
    void BuildContentPanel();
    void BindEvents();
    void ShapeHintPanel();
    // Start-up and shutdown.
    void StartUp();
    bool DefaultLogin();
    bool DefaultUnlock();
    void RequestQuit();
    void FormDestroy();
    // Start-up steps of the notice concern.
    void FetchBanners();
    void ReadServiceRecord();
    void ReadLinkPage();
    void ShowTemperature();
    // Paging. LoadCategory counts the named list and shows page 1 of the list on display.
    void LoadCategory(Category::Kind list);
    // Page 1 of the list on display, once it is counted.
    void ShowCountedCategory();
    void ShowPage(int page, Category::Kind list);
    void RefreshCategory();
    void ActivateRow(ClickLabel* label);
    // The list.
    void SwitchCategory(Category::Kind kind);
    void SetMessageInputShown(bool shown);
    void SetRowHover(ClickLabel* label, bool hovered);
    void DownloadTorrent(const std::string& link);
    // The online list.
    void ShowProfile();

    void OpenLink(const std::string& link, LinkUse use);
    void ShowWarning(const QString& text);

    Session& m_session;
    DbSession& m_db;
    const Settings& m_settings;
    Platform& m_platform;
    LoginRunner m_runLogin;

    TMainFormControls m_ui;
    ContentBrowser m_browser;
    ServerFiles m_files;
    std::unique_ptr<PresenceChannel> m_presence;
    std::unique_ptr<KeepOnlineDuringWaits> m_keepOnline; // goes before the channel it sends on
    QTimer m_temperatureTimer;
    std::vector<std::string> m_noticeCaptions;
    std::vector<std::string> m_noticeLinks;
    std::string m_bannerLink1;
    std::string m_bannerLink2;
    Clock m_clock;
    int m_captionIndex = -1;
    bool m_updateArmed = false; // the pointer moved over a notice naming an update archive
    bool m_listFolded = false;
    bool m_loggedIn = false; // only a session that logged in is announced to the presence service
    bool m_quitRequested = false;
    bool m_destroyed = false;
    int m_designHeight = 408;
};

// main()'s decision whether to enter the message loop: not when a quit signal came, and
// not when start-up asked to quit. The quit start-up posts can be taken by the loop of a
// modal box shown before the main loop starts (it then does nothing), so the window's own
// flag is asked as well.
bool MessageLoopWanted(const TMainForm& form, bool quitSignalled);
