#pragma once

#include "app/ChatPanel.h"
#include "app/ListPanel.h"
#include "app/NoticeStrip.h"
#include "app/TmainformControls.h"
#include "client/ContentBrowser.h"
#include "client/ServerFiles.h"
#include "core/Session.h"
#include "core/TimeStamp.h"
#include "platform/Platform.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class DbSession;

class PresenceChannel;
struct Session;
struct Settings;

// The main window. Its construction is the start-up: the login dialog, then the window
// filled from the database, the file service and the web. Its destruction is the shutdown.
//
// The window builds the controls (TmainformLayout.cpp) and runs start-up, shutdown and the
// screen lock (TmainformLock.cpp); each other concern is a panel that owns its state, the
// controls it works on and their events: NoticeStrip (notice, banners, captions,
// temperature, update download), ListPanel (the lists, paging, activation, the board,
// publishing) and ChatPanel (presence, online list, profile, chat room, hint, fold). The
// panels speak to each other through the window, which connects their signals.
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
    const ContentBrowser& Browser() const { return m_list->Browser(); }
    PresenceChannel* Presence() { return m_chat->Presence(); }
    NoticeStrip& Notice() { return *m_notice; }
    const std::vector<std::string>& NoticeCaptions() const { return m_notice->Captions(); }
    const std::string& FirstBannerLink() const { return m_notice->BannerLink(1); }
    const std::string& SecondBannerLink() const { return m_notice->BannerLink(2); }
    // Where the time stamps of new entries come from (the local clock by default).
    void SetClock(Clock clock) { m_list->SetClock(std::move(clock)); }

private slots:
    // The screen lock (TmainformLock.cpp).
    void SpeedButton15Click();

private:
    // Layout.
    void BuildLayout();
    void NameControls();
    void BuildContentPanel();
    void ShapeHintPanel();
    // The panels over the controls, and what they tell each other.
    void MakePanels();
    // Start-up and shutdown.
    void StartUp();
    bool DefaultLogin();
    bool DefaultUnlock();
    void RequestQuit();
    void FormDestroy();

    Session& m_session;
    DbSession& m_db;
    const Settings& m_settings;
    Platform& m_platform;
    LoginRunner m_runLogin;

    TMainFormControls m_ui;
    ServerFiles m_files; // shared by the panels: the start-up's bound holds for them all
    // Made once the controls exist.
    std::unique_ptr<ListPanel> m_list;
    std::unique_ptr<NoticeStrip> m_notice;
    std::unique_ptr<ChatPanel> m_chat;
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
