#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class ClickLabel;
class DbSession;
class KeepOnlineDuringWaits;
class PanelStatusBar;
class PresenceChannel;
class QAction;
class QFrame;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QWidget;
class SpeedButton;
struct Platform;
struct Session;
struct Settings;

// The presence service on the main window: the channel itself, the online list with its
// profile pop-up, the chat room, the hint panel and the strip that folds the list away.
class ChatPanel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChatPanel)

public:
    // The window's controls the panel works on; the panel binds their events itself.
    struct Controls
    {
        QListWidget* lb; // the online list, its pop-up and the strip that folds it
        QMenu* PopupMenu1;
        QAction* N1;
        ClickLabel* Panel1;
        QFrame* Panel3; // the chat room
        QPlainTextEdit* Memo1;
        QLineEdit* Edit3;
        SpeedButton* SpeedButton12; // send
        SpeedButton* SpeedButton13; // open the room
        QFrame* Panel4;             // the hint
        SpeedButton* SpeedButton14; // which closes it
        PanelStatusBar* sb;
    };

    ChatPanel(QWidget& window, Controls ui, Session& session, DbSession& db,
              const Settings& settings, Platform& platform);
    ~ChatPanel() override;

    // The channel of a session that logged in, started (the login datagram) with the waits
    // kept online.
    void StartPresence();
    // Shutdown: the logout notice.
    void ClosePresence();
    PresenceChannel* Presence() { return m_presence.get(); }

    // What the channel delivers. The names of the last list replace the online list.
    void FillOnlineList(const std::vector<std::string>& names);
    void AppendChatLine(const std::string& text); // GBK, appended to the transcript
    void ShowHint();                              // the server's "Hint Command"

    // The design's handlers, bound to their controls by the panel.
    void lbMouseDown(Qt::MouseButton button, const QPoint& at);
    void lbDblClick();         // the selected name's profile
    void N1Click();            // the profile of the name selected when the pop-up opened
    void SpeedButton12Click(); // send Edit3 to the room
    void SpeedButton13Click(); // show the room
    void SpeedButton14Click(); // hide the hint
    void Panel1Click();        // fold the list away or back

signals:
    // The chat room took the list's place, input row included.
    void roomShown();
    // The server's "Refresh Command".
    void refreshCommand();
    // The session cannot go on (its login failed, a line could not be sent): told, and the
    // window closes.
    void closeRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BindPresence();
    void ShowProfileOf(const QString& listedName);

    QWidget& m_window;
    Controls m_ui;
    Session& m_session;
    DbSession& m_db;
    const Settings& m_settings;
    Platform& m_platform;

    std::unique_ptr<PresenceChannel> m_presence;
    std::unique_ptr<KeepOnlineDuringWaits> m_keepOnline; // goes before the channel it sends on
    bool m_listFolded = false;
    QString m_menuName; // selected when the pop-up menu last opened
    bool m_menuNameTaken = false;
};
