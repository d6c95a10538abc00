#pragma once

#include "app/ChatPanel.h"
#include "app/ListPanel.h"
#include "app/NoticeStrip.h"
#include "app/TmainformControls.h"
#include "core/Session.h"
#include "core/TimeStamp.h"
#include "platform/Platform.h"
#include "ui/ContentBrowser.h"
#include "ui/ServerFiles.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class ClickLabel;
class DbSession;
class QPoint;

class PresenceChannel;
struct Session;
struct Settings;

// The main window. Its construction is the start-up: the login dialog, then the window
// filled from the database, the file service and the web. Its destruction is the shutdown.
//
// The window builds the controls and runs start-up, shutdown and the screen lock; each
// concern is a panel that owns its state and works on the window's controls: NoticeStrip
// (notice, banners, captions, temperature, update download), ListPanel (the lists, paging,
// activation, the board, publishing) and ChatPanel (presence, online list, profile, chat
// room, hint, fold). The design's handlers stay on the window, each forwarding to its panel
// (TmainformHandlers.cpp); TmainformLayout.cpp places the controls and binds them.
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
    const ContentBrowser& Browser() const { return m_list.Browser(); }
    PresenceChannel* Presence() { return m_chat.Presence(); }
    const std::vector<std::string>& NoticeCaptions() const { return m_notice.Captions(); }
    const std::string& FirstBannerLink() const { return m_notice.BannerLink(1); }
    const std::string& SecondBannerLink() const { return m_notice.BannerLink(2); }
    // Where the time stamps of new entries come from (the local clock by default).
    void SetClock(Clock clock) { m_list.SetClock(std::move(clock)); }

public slots:
    // The rotating caption's tick (NoticeStrip); tests tick it themselves.
    void Timer1Timer();

private slots:
    // The design's handlers, each bound to its control's event (TmainformLayout.cpp) and
    // forwarding to its panel (TmainformHandlers.cpp). The lists (ListPanel).
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
    // Publishing (ListPanel): the upload and quick-post dialogs.
    void SpeedButton7Click();
    void SpeedButton11Click();
    // The screen lock (TmainformLock.cpp).
    void SpeedButton15Click();
    // Notice, banners and captions (NoticeStrip).
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
    // The online list, chat room, hint and fold (ChatPanel). The names of the last
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
    void ShowWarning(const QString& text);

    Session& m_session;
    DbSession& m_db;
    const Settings& m_settings;
    Platform& m_platform;
    LoginRunner m_runLogin;

    TMainFormControls m_ui;
    ServerFiles m_files; // shared by the panels: the start-up's bound holds for them all
    ListPanel m_list;
    NoticeStrip m_notice;
    ChatPanel m_chat;        // goes before the list it reaches
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
