#pragma once

#include "app/TmainformControls.h"
#include "core/Basefunc.h"
#include "net/Http.h"
#include "net/WaitBudget.h"
#include "platform/Platform.h"
#include "ui/ContentBrowser.h"

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
    // Runs the unlock dialog over the hidden window; true when the user unlocked.
    using UnlockRunner = std::function<bool(TMainForm&)>;

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

    // The controls, under their design names.
    TMainFormControls& Controls() { return m_ui; }
    const TMainFormControls& Controls() const { return m_ui; }

    // Paging (the handlers below call these). LoadCategory counts the named list and shows
    // page 1 of the list on display.
    void LoadCategory(Category::Kind list);
    // Page 1 of the list on display, once it is counted.
    void ShowCountedCategory();
    void ShowPage(int page, Category::Kind list);
    void RefreshCategory();
    void ActivateRow(ClickLabel* label);

    ContentBrowser& Browser() { return m_browser; }
    PresenceChannel* Presence() { return m_presence.get(); }
    const std::vector<std::string>& NoticeCaptions() const { return m_noticeCaptions; }
    const std::vector<std::string>& NoticeLinks() const { return m_noticeLinks; }
    const std::string& FirstBannerLink() const { return m_bannerLink1; }
    const std::string& SecondBannerLink() const { return m_bannerLink2; }
    QTimer& TemperatureTimer() { return m_temperatureTimer; }
    // Tests replace the unlock dialog's modal run.
    void SetUnlockRunner(UnlockRunner run) { m_runUnlock = std::move(run); }
    // Where the time stamps of new entries come from (the local clock by default).
    void SetClock(Clock clock) { m_clock = std::move(clock); }

public slots:
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
    void Timer1Timer();
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
    // The list.
    void SwitchCategory(Category::Kind kind);
    void SetMessageInputShown(bool shown);
    void SetRowHover(ClickLabel* label, bool hovered);
    void DownloadTorrent(const std::string& link);
    // The online list.
    void ShowProfile();

    // Hands a link to the desktop's opener when it is a web address (core/Links.h); a page
    // link that is none is refused with a message, a banner link quietly.
    enum class LinkUse {
        Page,
        Banner
    };
    void OpenLink(const std::string& link, LinkUse use);
    void ShowWarning(const QString& text);
    HttpResult FetchServerFile(const std::string& path, FetchSize size = FetchSize::Page) const;
    // Fetches a file of the file service and saves it whole under fileName, or not at all:
    // a failed fetch or write leaves a file already there as it was, and no other behind.
    struct SavedDownload
    {
        enum class Outcome {
            Saved,
            FetchFailed, // the server or the network
            GaveUp,      // too slow: a bound of the download ended it
            WriteFailed, // the disk (the cause is logged)
        };
        Outcome outcome = Outcome::FetchFailed;
        std::size_t size = 0;
    };
    SavedDownload SaveDownload(const std::string& path, const QString& fileName);
    // The failure text of a download (failedText) with, when it was given up, why.
    QString DownloadFailure(const QString& failedText, const SavedDownload& saved) const;

    Session& m_session;
    DbSession& m_db;
    const Settings& m_settings;
    Platform& m_platform;
    LoginRunner m_runLogin;
    UnlockRunner m_runUnlock;

    TMainFormControls m_ui;
    ContentBrowser m_browser;
    std::unique_ptr<PresenceChannel> m_presence;
    std::unique_ptr<KeepOnlineDuringWaits> m_keepOnline; // goes before the channel it sends on
    QTimer m_temperatureTimer;
    std::optional<WaitBudget> m_startupBudget; // while the start-up fetches
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
