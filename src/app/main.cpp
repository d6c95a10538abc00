#include "app/Basefunc.h"
#include "app/Settings.h"
#include "app/Tmainform.h"
#include "db/DbSession.h"
#include "platform/RealPlatform.h"
#include "platform/RufflePlayer.h"
#include "ui/Fonts.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>
#include <exception>
#include <fcntl.h>
#include <unistd.h>

namespace {

// SIGTERM and SIGINT end the program the ordinary way, through the event loop, so that the
// window's shutdown still logs the user out and closes the database.
int g_signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char** argv)
{
    PrepareMoviePlayerEnvironment();
    QApplication app(argc, argv);
    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGTERM, OnSignal);
        std::signal(SIGINT, OnSignal);
    }
    try {
        InstallFontSubstitutes();

        // The process-wide session and database connection.
        Session session;
        const Settings settings = Settings::Defaults();
        DbSession db(settings);
        RealPlatform platform(
            std::make_unique<RufflePlayerFactory>(QString::fromStdString(ProgramDir()) + "player"));
        Platform services = platform.bundle();

        const auto form = TMainForm::Launch(session, db, settings, services);
        app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, "Zumalo", QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, "Zumalo", QString());
    }
    return 0;
}
