#include "app/Tmainform.h"
#include "client/DbWaits.h"
#include "core/ProgramDir.h"
#include "core/Session.h"
#include "core/Settings.h"
#include "db/DbSession.h"
#include "platform/QtTranslation.h"
#include "platform/QuitSignals.h"
#include "platform/RealPlatform.h"
#include "platform/RufflePlayer.h"
#include "ui/Fonts.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace {

// The client takes no options: it answers the two questions every program answers, before
// anything needs a display, and ignores every other argument.
std::optional<int> AnswerCommandLine(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("zumalo %s\n", ZUMALO_VERSION);
            return 0;
        }
        if (arg == "--help") {
            const Settings settings = Settings::Defaults();
            std::printf(
                "Usage: zumalo\n"
                "The Zumalo desktop client: log in to the community server, browse its torrents,\n"
                "videos, message board and quick posts, watch the videos and chat with the users\n"
                "online.\n"
                "\n"
                "The client takes no options and reads no configuration; any other argument is\n"
                "ignored. This build talks to the server %s (database port %u, presence port\n"
                "%u, files port %u) and to the lookup and weather pages on %s.\n"
                "\n"
                "  --help     print this help and exit\n"
                "  --version  print the version and exit\n",
                settings.serverHostName.c_str(), settings.dbPort, settings.presencePort,
                settings.httpPort, settings.lookupHost.c_str());
            return 0;
        }
    }
    return std::nullopt;
}

// Why the windows cannot open, or "" when they can. Qt aborts the process when its platform
// has no display, so an X display is tried first; other platforms (Wayland, offscreen) are
// left to Qt.
std::string NoDisplayReason()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("DISPLAY"))
        return "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    if (platform != "xcb")
        return {};
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool failed = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    return failed ? "cannot open the display \"" + qgetenv("DISPLAY").toStdString() + "\""
                  : std::string();
}

} // namespace

int main(int argc, char** argv)
{
    if (const auto answered = AnswerCommandLine(argc, argv))
        return *answered;
    PreferX11ForMoviePlayer();
    if (const std::string reason = NoDisplayReason(); !reason.empty()) {
        std::fprintf(stderr, "zumalo: %s; the client needs a graphical session\n", reason.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    InstallQtChinese(app); // the framework's buttons and dialogs in Chinese, whatever the locale
    // The desktop entry's name ties the window to its menu entry and icon; the icon from
    // the theme when installed, else the one compiled in.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.zumalo.zumalo"));
    QIcon builtIn;
    builtIn.addFile(QStringLiteral(":/assets/zumalo-32.png"));
    builtIn.addFile(QStringLiteral(":/assets/zumalo-256.png"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("zumalo"), builtIn));
    const QuitSignals quitSignals;
    try {
        InstallFontSubstitutes();

        // The process-wide session and database connection.
        Session session;
        const Settings settings = Settings::Defaults();
        DbSession db(settings);
        RealPlatform platform(
            std::make_unique<RufflePlayerFactory>(QString::fromStdString(ProgramDir()), settings));
        Platform services = platform.bundle();
        HookWaits(db, services.waits); // every statement and connection is a wait

        const auto form = TMainForm::Launch(session, db, settings, services);
        if (MessageLoopWanted(*form, quitSignals.Requested()))
            app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, "Zumalo", QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, "Zumalo", QString());
    }
    return 0;
}
