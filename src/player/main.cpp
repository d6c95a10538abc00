// zumalo-player: the video window's movie player in a process of its own. The client starts
// it when a movie opens and ends it with the window, so the web engine's memory is given
// back in full and the client never loads the engine's libraries. It reads commands from
// its standard input and writes reports to its standard output (core/PlayerProtocol.h);
// the end of its input ends it.
//
//   zumalo-player --page PLAYER_HTML [--parent-window ID] [--low-speed-bytes N]
//                 [--low-speed-seconds S]
//
// With --parent-window the view is placed inside that native window of the client (X11).

#include "core/PlayerProtocol.h"
#include "core/Settings.h"
#include "player/RuffleView.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSocketNotifier>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

void Report(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Runs the commands that arrive on standard input; quits at its end.
class CommandReader final : public QObject
{
public:
    explicit CommandReader(RuffleView& view)
        : m_view(view)
        , m_notifier(STDIN_FILENO, QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, &CommandReader::Read);
    }

private:
    void Read()
    {
        char chunk[4096];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) {
            m_notifier.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        m_buffer.append(chunk, static_cast<std::size_t>(got));
        std::size_t end;
        while ((end = m_buffer.find('\n')) != std::string::npos) {
            Run(m_buffer.substr(0, end));
            m_buffer.erase(0, end + 1);
        }
    }

    void Run(const std::string& line)
    {
        const auto message = player_protocol::Parse(line);
        if (!message) {
            qWarning("zumalo-player: not a command: %s", line.c_str());
            return;
        }
        using player_protocol::Command;
        switch (message->command) {
        case Command::Load:
            m_view.LoadMovie(message->first, QString::fromStdString(message->text));
            break;
        case Command::Play: m_view.Play(); break;
        case Command::Menu: m_view.SetMenu(message->first != 0); break;
        case Command::Size: m_view.Widget()->resize(message->first, message->second); break;
        case Command::Loaded:
        case Command::Failed:
            qWarning("zumalo-player: a report, not a command: %s", line.c_str());
            break;
        }
    }

    RuffleView& m_view;
    QSocketNotifier m_notifier;
    std::string m_buffer;
};

} // namespace

int main(int argc, char** argv)
{
    // The web engine writes many lines to standard error. ZUMALO_PLAYER_LOG sends them, with
    // the player's own, to a file of their own (scripts/demo does), so that the client's log
    // holds the client's lines; the engine's processes inherit it.
    if (const char* log = std::getenv("ZUMALO_PLAYER_LOG"); log && *log) {
        const int fd = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::dup2(fd, STDERR_FILENO);
            ::close(fd);
        }
    }
    // Chromium refuses to run its sandbox as root; a normal user keeps it.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    const Settings defaults = Settings::Defaults();
    QCommandLineParser options;
    const QCommandLineOption page(QStringLiteral("page"), QStringLiteral("player.html"),
                                  QStringLiteral("file"));
    const QCommandLineOption parent(QStringLiteral("parent-window"),
                                    QStringLiteral("the native window to show the movie in"),
                                    QStringLiteral("id"));
    const QCommandLineOption lowBytes(
        QStringLiteral("low-speed-bytes"), QStringLiteral("slowest pace of a download"),
        QStringLiteral("bytes"), QString::number(defaults.downloadLowSpeedBytes));
    const QCommandLineOption lowSeconds(
        QStringLiteral("low-speed-seconds"), QStringLiteral("how long a download may go slower"),
        QStringLiteral("seconds"), QString::number(defaults.downloadLowSpeedSeconds));
    options.addOptions({page, parent, lowBytes, lowSeconds});
    options.process(app);
    if (!options.isSet(page)) {
        std::fprintf(stderr, "zumalo-player: --page is required\n");
        return 2;
    }

    // Declared before the view: the view's window is its child and must go first.
    std::unique_ptr<QWindow> host;
    RuffleView view(
        options.value(page),
        RuffleView::Pace{options.value(lowBytes).toLong(), options.value(lowSeconds).toLong()});
    QObject::connect(&view, &RuffleView::loaded,
                     [](int loadNumber) { Report(player_protocol::Loaded(loadNumber)); });
    QObject::connect(&view, &RuffleView::failed, [](int loadNumber, const QString& reason) {
        Report(player_protocol::Failed(loadNumber, reason.toStdString()));
    });

    QWidget* surface = view.Widget();
    surface->setWindowFlag(Qt::FramelessWindowHint);
    bool isId = false;
    const WId parentId = options.value(parent).toULongLong(&isId);
    if (isId && parentId != 0) {
        surface->winId(); // the native window, to place inside the client's
        host.reset(QWindow::fromWinId(parentId));
        surface->windowHandle()->setParent(host.get());
    }
    surface->show();

    const CommandReader commands(view);
    return app.exec();
}
