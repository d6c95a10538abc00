#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class DbSession;
class KeepOnlineDuringWaits;
class ListPanel;
class PresenceChannel;
class QWidget;
struct Platform;
struct Session;
struct Settings;
struct TMainFormControls;

// The presence service on the main window: the channel itself, the online list with its
// profile pop-up, the chat room, the hint panel and the strip that folds the list away.
class ChatPanel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChatPanel)

public:
    // The chat room takes the board's input row away through the list.
    ChatPanel(QWidget& window, TMainFormControls& ui, Session& session, DbSession& db,
              const Settings& settings, Platform& platform, ListPanel& list);
    ~ChatPanel() override;

    // The channel of a session that logged in: opened first, so that its signals can be
    // bound, then started (the login datagram) with the waits kept online.
    PresenceChannel& OpenPresence();
    void StartPresence();
    // Shutdown: the logout notice.
    void ClosePresence();
    PresenceChannel* Presence() { return m_presence.get(); }

    // The design's handlers (TMainForm forwards to these).
    void FillOnlineList(const std::vector<std::string>& names);
    void SelectNameAt(Qt::MouseButton button, const QPoint& at);
    // The pop-up menu opens: its item acts on the name selected now (N1Click).
    void TakeMenuName();
    void ShowMenuProfile();
    void ShowProfile(); // the selected name (lbDblClick)
    void SendLine();
    void AppendChatLine(const std::string& text);
    void ShowRoom();
    void ShowHint();
    void HideHint();
    void FoldList();

private:
    void ShowProfileOf(const QString& listedName);

    QWidget& m_window;
    TMainFormControls& m_ui;
    Session& m_session;
    DbSession& m_db;
    const Settings& m_settings;
    Platform& m_platform;
    ListPanel& m_list;

    std::unique_ptr<PresenceChannel> m_presence;
    std::unique_ptr<KeepOnlineDuringWaits> m_keepOnline; // goes before the channel it sends on
    bool m_listFolded = false;
    QString m_menuName; // selected when the pop-up menu last opened
    bool m_menuNameTaken = false;
};
