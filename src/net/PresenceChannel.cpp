#include "net/PresenceChannel.h"

#include "core/Presence.h"

#include <QHostAddress>
#include <QPointer>
#include <QUdpSocket>

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcPresence, "zumalo.presence", QtWarningMsg)

namespace {
// Nothing answers a LogoutNotice: copies make the loss of all of them unlikely.
constexpr int LogoutCopies = 3;
} // namespace

PresenceChannel::PresenceChannel(Session& session, const Settings& settings, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_settings(settings)
{
    m_loginCheck.setTimerType(Qt::PreciseTimer);
    m_loginRepeat.setSingleShot(true);
    m_loginRepeat.setTimerType(Qt::PreciseTimer);
    connect(&m_loginCheck, &QTimer::timeout, this, &PresenceChannel::CheckLoginTimeout);
    connect(&TimerKeepOnline, &QTimer::timeout, this, &PresenceChannel::TimerKeepOnlineTimer);
    connect(&m_loginRepeat, &QTimer::timeout, this, &PresenceChannel::RepeatLogin);
    connect(&m_loginRetry, &QTimer::timeout, this, &PresenceChannel::RetryLogin);
}

PresenceChannel::~PresenceChannel() = default;

void PresenceChannel::Start()
{
    if (m_state != State::NotStarted)
        return;

    // The socket is made here but never bound: the system picks the local port at the first
    // send, and the socket is watched for datagrams from then on.
    m_socket = std::make_unique<QUdpSocket>();
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        qCWarning(lcPresence) << "cannot make the UDP socket:" << strerror(errno);
        emit socketError(QString::fromUtf8(presence_texts::SocketCreateError));
    } else if (!m_socket->setSocketDescriptor(fd, QAbstractSocket::BoundState,
                                              QIODevice::ReadWrite)) {
        qCWarning(lcPresence) << "cannot watch the UDP socket:" << m_socket->errorString();
        ::close(fd);
        emit socketError(QString::fromUtf8(presence_texts::SocketWatchError));
    } else {
        connect(m_socket.get(), &QUdpSocket::readyRead, this, &PresenceChannel::OnSocketMessage);
    }

    // inet_addr: a text that is not a dotted address gives 255.255.255.255; SendTo sends
    // nothing there (it would be a broadcast of the user's name), so the login check fails.
    m_serverIp = ntohl(::inet_addr(m_session.ServerAddress.c_str()));
    m_serverPort = static_cast<quint16>(m_settings.presencePort);

    m_state = State::AwaitingAnswer;
    BeginAttempt(Attempt::First);
}

void PresenceChannel::BeginAttempt(Attempt kind)
{
    m_attempt = kind;
    m_requestsSent = 0;
    m_refusals = 0;
    m_repeatsSent = 0;
    SendLoginRequest();
    m_attemptTime.start();
    m_loginCheck.start(m_settings.loginCheckMs);
    ScheduleRepeat();
}

void PresenceChannel::SendLoginRequest()
{
    SendTo(presence::BuildLoginRequest(m_session.UserName), m_serverIp, m_serverPort);
    ++m_requestsSent;
}

void PresenceChannel::ScheduleRepeat()
{
    if (m_repeatsSent >= m_settings.loginRepeatMs.size())
        return;
    const qint64 due = m_settings.loginRepeatMs[m_repeatsSent] - m_attemptTime.elapsed();
    m_loginRepeat.start(static_cast<int>(std::max<qint64>(0, due)));
}

void PresenceChannel::RepeatLogin()
{
    if (m_attempt == Attempt::None)
        return;
    SendLoginRequest();
    ++m_repeatsSent;
    ScheduleRepeat();
}

void PresenceChannel::RetryLogin()
{
    if (m_state != State::Refused) {
        m_loginRetry.stop();
        return;
    }
    if (m_attempt == Attempt::None)
        BeginAttempt(Attempt::Retry);
}

void PresenceChannel::CheckLoginTimeout()
{
    // The attempt ends only when more than the check period has passed. At the first tick
    // the period has only just passed, and the timer's lateness must not turn that into
    // "more": the attempt ends at the second tick, and its repeats fit in the wait.
    if (m_attempt == Attempt::None
        || m_attemptTime.elapsed() <= m_settings.loginCheckMs + m_settings.loginCheckMs / 2)
        return;
    if (m_refusals > 0) {
        // Refused, and no acceptance came: whatever a refusal answered, the server does not
        // hold this login.
        Refuse();
        return;
    }
    const Attempt kind = m_attempt;
    m_attempt = Attempt::None;
    m_loginCheck.stop();
    m_loginRepeat.stop();
    if (kind == Attempt::Again) {
        // The server is not answering; keep-online goes on as before, and a refusal of it
        // once the server answers again starts the next attempt.
        qCWarning(lcPresence) << "no answer to the login after a refused keep-online";
        return;
    }
    if (kind == Attempt::Retry)
        return;
    m_state = State::Failed;
    qCWarning(lcPresence) << "no login answer from the presence service";
    // The server may have taken a request whose answer was lost: the login is withdrawn
    // before the user is told that it failed, so that nobody sees this user listed.
    SendLogoutNotice();
    emit loginFailed();
}

void PresenceChannel::TimerKeepOnlineTimer()
{
    if (m_state != State::Online || m_attempt != Attempt::None)
        return;
    SendTo(presence::BuildKeepOnline(m_session.UserName), m_serverIp, m_serverPort);
}

void PresenceChannel::OnSocketMessage()
{
    // The window may close, and destroy this channel, in a slot of a signal emitted below.
    const QPointer<PresenceChannel> alive(this);
    while (alive && m_socket && m_socket->state() == QAbstractSocket::BoundState
           && m_socket->hasPendingDatagrams()) {
        const qint64 size = m_socket->pendingDatagramSize();
        QByteArray buffer(static_cast<qsizetype>(std::max<qint64>(size, 1)), '\0');
        QHostAddress from;
        quint16 fromPort = 0;
        const qint64 got = m_socket->readDatagram(buffer.data(), buffer.size(), &from, &fromPort);
        // A failed receive is ignored; Decode drops a datagram longer than the client takes.
        if (got < 0)
            continue;
        bool isIpv4 = false;
        const std::uint32_t fromIp = from.toIPv4Address(&isIpv4);
        if (!isIpv4 || fromIp != m_serverIp || fromPort != m_serverPort)
            continue; // not from the server's endpoint: no effect at all
        m_peerIp = fromIp;
        m_peerPort = fromPort;
        HandleDatagram(std::string_view(buffer.constData(), static_cast<std::size_t>(got)));
    }
}

void PresenceChannel::HandleDatagram(std::string_view datagram)
{
    std::visit(presence::Overloaded{
                   [&](const presence::LoginAnswer& answer) { HandleLoginAnswer(answer.accepted); },
                   [&](const presence::OnlineList& list) {
                       // The server sends its list to the clients it holds: one that arrives
                       // while the answer is awaited, or after a refusal, tells that the login
                       // was taken.
                       if (m_attempt != Attempt::None || m_state == State::Refused) {
                           qCInfo(lcPresence)
                               << "an online list arrived before the login answer: online";
                           Accept();
                       }
                       emit onlineList(list.names);
                   },
                   [&](const presence::TextLine& line) {
                       if (line.text == presence::RefreshCommand)
                           emit refreshCommand();
                       else if (line.text == presence::HintCommand)
                           emit hintCommand();
                       else
                           emit chatLine(line.text);
                   },
                   [](const auto&) {}, // malformed, or what only a client sends
               },
               presence::Decode(datagram, presence::Sender::Server));
}

void PresenceChannel::HandleLoginAnswer(bool accepted)
{
    // A login given up has been withdrawn: a late answer must not bring it back.
    if (m_state == State::Failed || m_state == State::Closed)
        return;
    if (accepted)
        Accept();
    else
        HandleRefusal();
}

void PresenceChannel::Accept()
{
    if (m_state == State::Failed || m_state == State::Closed)
        return;
    m_attempt = Attempt::None;
    m_loginCheck.stop();
    m_loginRepeat.stop();
    m_loginRetry.stop();
    if (!TimerKeepOnline.isActive())
        TimerKeepOnline.start(m_settings.keepOnlineMs);
    SendTo(presence::BuildLoginAck(), m_peerIp, m_peerPort);
    m_state = State::Online;
    emit loginAccepted();
}

void PresenceChannel::HandleRefusal()
{
    if (m_attempt != Attempt::None) {
        ++m_refusals;
        // A refusal may answer a repeat of a request the server took, whose acceptance was
        // lost: it decides only once every request has been refused. A refusal of a
        // keep-online sent before the attempt may still arrive, so an attempt after one
        // waits for its end.
        if (m_attempt != Attempt::Again && m_refusals >= m_requestsSent)
            Refuse();
        return;
    }
    if (m_state != State::Online)
        return; // refused already: the retries go on, the user was told
    // Within the attempt's wait a refusal answers one of its repeats: the acceptance stands.
    if (m_attemptTime.isValid() && m_attemptTime.elapsed() <= AttemptWaitMs())
        return;
    // The server no longer holds this session: replaced, timed out, or the server started
    // again. Log in again at once; only a refusal of that is told.
    qCInfo(lcPresence) << "keep-online refused; logging in again";
    BeginAttempt(Attempt::Again);
}

void PresenceChannel::Refuse()
{
    const Attempt kind = m_attempt;
    m_attempt = Attempt::None;
    m_loginCheck.stop();
    m_loginRepeat.stop();
    // The keep-online timer is left as it is; it sends nothing while refused.
    m_state = State::Refused;
    if (!m_loginRetry.isActive())
        m_loginRetry.start(m_settings.loginRetryMs);
    if (kind == Attempt::Retry)
        return;
    qCWarning(lcPresence) << "login refused: the name is online elsewhere; trying again every"
                          << m_settings.loginRetryMs << "ms";
    emit loginRefused();
}

bool PresenceChannel::SendText(std::string_view gbkText)
{
    if (!SendTo(presence::BuildTextLine(gbkText), m_peerIp, m_peerPort)) {
        qCWarning(lcPresence) << "chat line not sent:"
                              << (m_socket ? m_socket->errorString() : QStringLiteral("no socket"));
        emit sendFailed();
        return false;
    }
    return true;
}

void PresenceChannel::Logout()
{
    if (m_state == State::NotStarted || m_state == State::Closed)
        return;
    m_attempt = Attempt::None;
    m_loginCheck.stop();
    m_loginRepeat.stop();
    m_loginRetry.stop();
    TimerKeepOnline.stop();
    if (m_state != State::Failed) // withdrawn already
        SendLogoutNotice();
    if (m_socket)
        m_socket->close();
    m_state = State::Closed;
}

void PresenceChannel::SendLogoutNotice()
{
    const std::string notice = presence::BuildLogoutNotice(m_session.UserName);
    for (int i = 0; i < LogoutCopies; ++i)
        SendTo(notice, m_serverIp, m_serverPort);
}

quint16 PresenceChannel::localPort() const
{
    if (!m_socket || !m_socket->isValid())
        return 0;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(static_cast<int>(m_socket->socketDescriptor()),
                      reinterpret_cast<sockaddr*>(&local), &length)
        != 0)
        return 0;
    return ntohs(local.sin_port);
}

std::optional<PresenceChannel::KeepOnlineSend> PresenceChannel::keepOnlineSend() const
{
    if (!TimerKeepOnline.isActive() || m_state != State::Online || m_attempt != Attempt::None
        || !m_socket || m_socket->state() != QAbstractSocket::BoundState
        || m_serverIp == INADDR_NONE)
        return std::nullopt;
    return KeepOnlineSend{static_cast<int>(m_socket->socketDescriptor()),
                          m_serverIp,
                          m_serverPort,
                          presence::BuildKeepOnline(m_session.UserName),
                          TimerKeepOnline.interval(),
                          std::max(0, TimerKeepOnline.remainingTime())};
}

bool PresenceChannel::SendTo(const std::string& datagram, std::uint32_t ip, quint16 port)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::BoundState || ip == INADDR_NONE)
        return false;
    const qint64 sent = m_socket->writeDatagram(
        datagram.data(), static_cast<qint64>(datagram.size()), QHostAddress(ip), port);
    return sent == static_cast<qint64>(datagram.size());
}
