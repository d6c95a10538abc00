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
    connect(&m_loginCheck, &QTimer::timeout, this, &PresenceChannel::CheckLoginTimeout);
    connect(&TimerKeepOnline, &QTimer::timeout, this, &PresenceChannel::TimerKeepOnlineTimer);
    connect(&m_loginResend, &QTimer::timeout, this, &PresenceChannel::ResendLogin);
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

    SendTo(presence::BuildLoginRequest(m_session.UserName), m_serverIp, m_serverPort);
    m_loginTime.start();
    m_attemptTime.start();
    m_state = State::AwaitingAnswer;
    m_loginCheck.start(m_settings.loginCheckMs);
    m_loginResend.start(m_settings.loginResendMs);
}

void PresenceChannel::ResendLogin()
{
    // While the first answer is awaited; after a refusal, for one check period a retry.
    const bool awaiting = m_state == State::AwaitingAnswer
        || (m_state == State::Refused && m_attemptTime.elapsed() <= m_settings.loginCheckMs);
    if (!awaiting) {
        m_loginResend.stop();
        return;
    }
    SendTo(presence::BuildLoginRequest(m_session.UserName), m_serverIp, m_serverPort);
}

void PresenceChannel::RetryLogin()
{
    if (m_state != State::Refused) {
        m_loginRetry.stop();
        return;
    }
    SendTo(presence::BuildLoginRequest(m_session.UserName), m_serverIp, m_serverPort);
    m_attemptTime.start();
    m_loginResend.start(m_settings.loginResendMs);
}

void PresenceChannel::CheckLoginTimeout()
{
    // Fails only when strictly more than the check period has passed, so a lost answer
    // fails at the first or the second tick.
    if (!m_loginTime.isValid() || m_loginTime.elapsed() <= m_settings.loginCheckMs)
        return;
    m_loginCheck.stop();
    m_loginResend.stop();
    m_state = State::Failed;
    qCWarning(lcPresence) << "no login answer from the presence service";
    // The server may have taken a request whose answer was lost: the login is withdrawn
    // before the user is told that it failed, so that nobody sees this user listed.
    SendLogoutNotice();
    emit loginFailed();
}

void PresenceChannel::TimerKeepOnlineTimer()
{
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
        // A failed receive is ignored, and so is a datagram longer than the receive area.
        if (got < 0 || size > static_cast<qint64>(presence::MaxDatagramSize))
            continue;
        bool isIpv4 = false;
        const std::uint32_t fromIp = from.toIPv4Address(&isIpv4);
        if (!isIpv4 || fromIp != m_serverIp)
            continue; // not from the server: no effect at all
        m_peerIp = fromIp;
        m_peerPort = fromPort;
        HandleDatagram(std::string_view(buffer.constData(), static_cast<std::size_t>(got)));
    }
}

void PresenceChannel::HandleDatagram(std::string_view datagram)
{
    using presence::MessageType;
    switch (static_cast<MessageType>(presence::ReadType(datagram))) {
    case MessageType::LoginAnswer:
        HandleLoginAnswer(presence::ReadLoginResult(datagram) != 0);
        break;
    case MessageType::OnlineList:
        emit onlineList(presence::ParseOnlineList(presence::ReadListText(datagram)));
        break;
    case MessageType::TextLine: {
        const std::string text = presence::ReadText(datagram);
        if (text == presence::RefreshCommand)
            emit refreshCommand();
        else if (text == presence::HintCommand)
            emit hintCommand();
        else
            emit chatLine(text);
        break;
    }
    default: break;
    }
}

void PresenceChannel::HandleLoginAnswer(bool accepted)
{
    // A login given up has been withdrawn: a late answer must not bring it back.
    if (m_state == State::Failed || m_state == State::Closed)
        return;
    m_loginCheck.stop();
    m_loginResend.stop();
    if (accepted) {
        m_loginRetry.stop();
        if (!TimerKeepOnline.isActive())
            TimerKeepOnline.start(m_settings.keepOnlineMs);
        SendTo(presence::BuildLoginAck(), m_peerIp, m_peerPort);
        m_state = State::Online;
        emit loginAccepted();
        return;
    }
    // A refusal leaves the keep-online timer as it is. The user is told once; a retry that
    // is refused again waits for the next one.
    if (m_state == State::AwaitingAnswer) {
        m_state = State::Refused;
        m_loginRetry.start(m_settings.loginRetryMs);
        qCWarning(lcPresence) << "login refused: the name is online elsewhere; trying again every"
                              << m_settings.loginRetryMs << "ms";
        emit loginRefused();
    } else if (m_state == State::Online) {
        emit loginRefused();
    }
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
    m_loginCheck.stop();
    m_loginResend.stop();
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
    if (!TimerKeepOnline.isActive() || !m_socket || m_socket->state() != QAbstractSocket::BoundState
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
