#pragma once

#include "core/Session.h"
#include "core/Settings.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QUdpSocket;

// What went wrong on the presence channel, for an operator: "zumalo.presence".
Q_DECLARE_LOGGING_CATEGORY(lcPresence)

// The user-facing texts of the presence channel (UTF-8), the one place they are written:
// the channel emits the first two, the main window shows the others on the matching signal.
// The two commands the server sends are wire texts and live with the codec (core/Presence.h).
namespace presence_texts {
inline constexpr char SocketCreateError[] = "WinSock Version Error~!"; // plain message
inline constexpr char SocketWatchError[] = "WM_SOCKET Error";          // plain message
inline constexpr char LoginFailed[] = "服务器连接失败";                // "提示" box, then close
inline constexpr char LoginRefused[] = "你的帐号被别人登录了。";       // plain message
inline constexpr char SendFailed[] = "与服务器失去链接。";             // "提示" box, then close
} // namespace presence_texts

// The main window's UDP channel to the presence and chat service: login with its check,
// keep-online datagrams, the online list, chat lines and the two server commands, logout.
// It runs on the GUI thread and reports every outcome as a signal; the window decides what
// to show.
//
// Datagrams may be lost. A login attempt sends the LoginRequest, and again at the times of
// loginRepeatMs while no answer has come, within the login check's wait. A server that
// follows the design may take a repeat for a second login and refuse it, so within one
// attempt an acceptance stands against any refusal, and a refusal decides only when every
// request of the attempt has been refused, or when the wait is over without an acceptance.
// An online list from the server tells that it holds this login, whose acceptance was lost.
// A login that fails the check is withdrawn with a LogoutNotice before the failure is told,
// and a late answer does not bring it back.
//
// A refusal while online means the server no longer holds the session (it was replaced,
// timed out, or the server started again): the login is tried again at once, quietly, and
// the user is told only when that attempt is refused. After a refusal the login is tried
// again every loginRetryMs, without telling the user again, until it is accepted. While an
// attempt awaits its answer, or the login is refused, no KeepOnline goes out: the requests
// stand for it. The LogoutNotice goes out in a few copies, since nothing answers it.
//
// Datagrams are taken only from the server's endpoint, its IPv4 address and the presence
// port; everything else is dropped before it can touch the peer address. Chat lines go to
// the peer address, the source of the last accepted datagram, which is all zero until one
// has arrived.
class PresenceChannel final : public QObject
{
    Q_OBJECT

public:
    enum class State {
        NotStarted,
        AwaitingAnswer,
        Online,
        Refused,
        Failed,
        Closed
    };

    PresenceChannel(Session& session, const Settings& settings, QObject* parent = nullptr);
    ~PresenceChannel() override;
    Q_DISABLE_COPY_MOVE(PresenceChannel)

    // Set-up and login: the socket, the server address from Session::ServerAddress and the
    // presence port, the LoginRequest, the login time and the login check timer.
    void Start();
    // Sends one TextLine to the peer address; false (and sendFailed) when the send fails.
    bool SendText(std::string_view gbkText);
    // LogoutNotice to the server address, then the socket is closed. Runs once.
    void Logout();

    // The timer and socket handlers, public so that a test can drive them directly.
    void CheckLoginTimeout();
    void TimerKeepOnlineTimer();
    void OnSocketMessage();

    State state() const { return m_state; }
    bool keepOnlineActive() const { return TimerKeepOnline.isActive(); }
    bool loginCheckActive() const { return m_loginCheck.isActive(); }
    bool loginRetryActive() const { return m_loginRetry.isActive(); }
    // A login attempt awaits its answer (the first one, or one after a refusal).
    bool loginAttemptActive() const { return m_attempt != Attempt::None; }
    // The local UDP port once the first datagram has gone out (0 before).
    quint16 localPort() const;

    // What another thread needs to send the keep-online datagram while this one is blocked
    // in a wait: the socket, the server's endpoint (the same one the timer sends to, so the
    // server sees the same client), the datagram, the period and how soon the next one is due.
    // Nothing unless the keep-online timer runs.
    struct KeepOnlineSend
    {
        int socket = -1;
        std::uint32_t ip = 0; // host byte order
        quint16 port = 0;
        std::string datagram;
        int periodMs = 0;
        int dueInMs = 0;
    };
    std::optional<KeepOnlineSend> keepOnlineSend() const;

signals:
    void socketError(const QString& text);
    void loginAccepted();
    void loginRefused();
    void loginFailed();
    void onlineList(const std::vector<std::string>& gbkNames);
    void refreshCommand();
    void hintCommand();
    void chatLine(const std::string& gbkText);
    void sendFailed();

private:
    // Why a login attempt was made: what its outcome tells the user.
    enum class Attempt {
        None,  // no attempt awaits an answer
        First, // at set-up: no answer fails the login, a refusal is told
        Again, // a refusal while online: a refusal of this one is told
        Retry  // every loginRetryMs while refused: quiet
    };

    void HandleDatagram(std::string_view datagram);
    void HandleLoginAnswer(bool accepted);
    void HandleRefusal();
    void Accept();
    void Refuse();
    void BeginAttempt(Attempt kind);
    void ScheduleRepeat();
    void RepeatLogin();
    void RetryLogin();
    void SendLoginRequest();
    void SendLogoutNotice();
    bool SendTo(const std::string& datagram, std::uint32_t ip, quint16 port);
    // How long after its first request an attempt may still be answered: the check's wait.
    qint64 AttemptWaitMs() const { return 2 * static_cast<qint64>(m_settings.loginCheckMs); }

    Session& m_session;
    const Settings& m_settings;
    std::unique_ptr<QUdpSocket> m_socket;
    std::uint32_t m_serverIp = 0; // host byte order; INADDR_NONE for a text that is no address
    quint16 m_serverPort = 0;
    std::uint32_t m_peerIp = 0;
    quint16 m_peerPort = 0;
    QTimer m_loginCheck;
    QTimer TimerKeepOnline; // every keepOnlineMs once the login is answered
    QTimer m_loginRepeat;   // the next repeat of loginRepeatMs while an answer is awaited
    QTimer m_loginRetry;    // every loginRetryMs while refused
    State m_state = State::NotStarted;
    // The login attempt: since its first request, what it was for, how many requests went
    // out and how many refusals came back.
    QElapsedTimer m_attemptTime;
    Attempt m_attempt = Attempt::None;
    std::size_t m_repeatsSent = 0;
    int m_requestsSent = 0;
    int m_refusals = 0;
};
