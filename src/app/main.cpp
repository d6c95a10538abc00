#include "app/Tmainform.h"
#include "core/Basefunc.h"
#include "core/Settings.h"
#include "db/DbSession.h"
#include "platform/QuitSignals.h"
#include "platform/RealPlatform.h"
#include "platform/RufflePlayer.h"
#include "ui/Fonts.h"
#include "ui/WaitCursor.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <exception>

int main(int argc, char** argv)
{
    PreferX11ForMoviePlayer();
    QApplication app(argc, argv);
    // The desktop entry's name ties the window to its menu entry and icon; the icon from
    // the theme when installed, else the one compiled in.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.zumalo.Zumalo"));
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
        InstallWaitCursor(db);
        RealPlatform platform(
            std::make_unique<RufflePlayerFactory>(QString::fromStdString(ProgramDir()), settings));
        Platform services = platform.bundle();

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
