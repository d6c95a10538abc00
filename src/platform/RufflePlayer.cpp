#include "platform/RufflePlayer.h"

#include "core/PlayerProtocol.h"
#include "core/Settings.h"

#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QProcess>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstring>

Q_LOGGING_CATEGORY(lcPlayer, "zumalo.player", QtWarningMsg)

namespace {

constexpr int kEndGraceMs = 3000; // after its input ends the player has this long to quit

// The native window the player's view goes into, on X11 only. The window must exist on the
// server before the player looks for it, so the request is sent at once.
QString NativeParent(QWidget& surface)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() != u"xcb" || !x11 || !x11->connection())
        return {};
    const WId id = surface.winId();
    xcb_flush(x11->connection());
    return QString::number(id);
}

} // namespace

void PreferX11ForMoviePlayer()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

RufflePlayer::RufflePlayer(QWidget* parent, const Options& options)
    : m_surface(new QWidget(parent))
    , m_process(new QProcess)
{
    // Until the player's view is in place the window's own background shows through.
    m_surface->installEventFilter(this);

    QStringList arguments{QStringLiteral("--page"),
                          options.page,
                          QStringLiteral("--low-speed-bytes"),
                          QString::number(options.lowSpeedBytes),
                          QStringLiteral("--low-speed-seconds"),
                          QString::number(options.lowSpeedSeconds)};
    const QString parentWindow = NativeParent(*m_surface);
    if (!parentWindow.isEmpty())
        arguments << QStringLiteral("--parent-window") << parentWindow;
    // The player's warnings go where the client's go.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &RufflePlayer::ReadReports);
    connect(m_process, &QProcess::finished, this, &RufflePlayer::ProcessEnded);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            ProcessEnded();
    });
    m_process->start(options.program, arguments);
    Send(player_protocol::Size(m_surface->width(), m_surface->height()));
}

RufflePlayer::~RufflePlayer()
{
    // The end of its input ends the player; the client does not wait for it. One that does
    // not quit in time is killed.
    QProcess* process = std::exchange(m_process, nullptr);
    process->disconnect(this);
    if (process->state() == QProcess::NotRunning) {
        delete process;
    } else {
        process->setParent(qApp); // ended with the client at the latest
        process->closeWriteChannel();
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        QTimer::singleShot(kEndGraceMs, process, &QProcess::kill);
    }
    delete m_surface.data(); // null when the window has already taken it down
}

QWidget* RufflePlayer::Widget()
{
    return m_surface;
}

qint64 RufflePlayer::ProcessId() const
{
    return m_process ? m_process->processId() : 0;
}

void RufflePlayer::LoadMovie(int /*layer*/, const QString& url)
{
    // Only the root layer is used: a new movie replaces what is shown.
    m_movieUrl = url;
    m_loaded = false;
    // The new movie takes the area, and says that it is coming until it shows or fails. A
    // stopped player keeps saying so.
    if (m_process && m_process->state() != QProcess::NotRunning)
        ShowMessage(QString::fromUtf8(player_protocol::MovieLoadingText));
    Send(player_protocol::Load(++m_loadNumber, url.toStdString()));
}

void RufflePlayer::Play()
{
    // Before the movie is in the page this only marks it to start as soon as it loads.
    Send(player_protocol::Play());
}

void RufflePlayer::SetMenu(bool on)
{
    m_menu = on;
    Send(player_protocol::Menu(on));
}

void RufflePlayer::Send(const std::string& line)
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    m_process->write(line.data(), static_cast<qint64>(line.size()));
    m_process->write("\n", 1);
}

bool RufflePlayer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_surface && event->type() == QEvent::Resize) {
        Send(player_protocol::Size(m_surface->width(), m_surface->height()));
        if (m_message)
            m_message->setGeometry(m_surface->rect());
    }
    return QObject::eventFilter(watched, event);
}

void RufflePlayer::ReadReports()
{
    while (m_process && m_process->canReadLine()) {
        const QByteArray line = m_process->readLine().trimmed();
        const auto report = player_protocol::Parse(line.toStdString());
        using player_protocol::Command;
        if (!report || (report->command != Command::Loaded && report->command != Command::Failed)) {
            qCWarning(lcPlayer) << "not a report of the player:" << line;
            continue;
        }
        if (report->first != m_loadNumber)
            continue; // about a movie that has since been replaced
        if (report->command == Command::Loaded) {
            m_loaded = true;
            if (m_message)
                m_message->hide();
            emit loaded();
        } else {
            qCWarning(lcPlayer) << QString::fromStdString(report->text);
            ShowMessage(QString::fromUtf8(player_protocol::MovieFailedText));
            emit failed(QString::fromStdString(report->text));
        }
    }
}

void RufflePlayer::ProcessEnded()
{
    ReadReports();
    QString reason;
    if (m_process->error() == QProcess::FailedToStart)
        reason = QStringLiteral("the player %1 could not be started: %2")
                     .arg(m_process->program(), m_process->errorString());
    else if (m_process->exitStatus() == QProcess::CrashExit)
        reason = QStringLiteral("the player stopped: killed by signal %1 (%2)")
                     .arg(m_process->exitCode())
                     .arg(QString::fromLocal8Bit(::strsignal(m_process->exitCode())));
    else
        reason = QStringLiteral("the player stopped: exit status %1").arg(m_process->exitCode());
    qCWarning(lcPlayer) << reason;
    m_loaded = false;
    // Its view went with it: the window's own area says so until it is closed.
    ShowMessage(QString::fromUtf8(player_protocol::PlayerStoppedText));
    emit failed(reason);
}

void RufflePlayer::ShowMessage(const QString& text)
{
    if (!m_surface)
        return;
    if (!m_message) {
        m_message = new QLabel(m_surface);
        m_message->setObjectName(QStringLiteral("playerMessage"));
        m_message->setAlignment(Qt::AlignCenter);
        m_message->setWordWrap(true);
        m_message->setGeometry(m_surface->rect());
    }
    m_message->setText(text);
    m_message->show();
}

QString RufflePlayer::Message() const
{
    return m_message && !m_message->isHidden() ? m_message->text() : QString();
}

RufflePlayer::Options RufflePlayer::Options::From(const QString& programDir,
                                                  const Settings& settings)
{
    const QDir dir(programDir);
    return {dir.filePath(QStringLiteral("zumalo-player")),
            dir.filePath(QStringLiteral("player/player.html")), settings.downloadLowSpeedBytes,
            settings.downloadLowSpeedSeconds};
}

std::unique_ptr<MoviePlayer> RufflePlayerFactory::Create(QWidget* parent)
{
    return std::make_unique<RufflePlayer>(parent, m_options);
}
