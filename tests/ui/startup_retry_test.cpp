// Start-up against a server that is missing or hung: a failed resolution is tried again at
// the next login attempt, the start-up's fetches share one bound, and the main window never
// shows its design texts.

#include "LogCapture.h"
#include "MainFormFixture.h"
#include "ServerProcess.h"
#include "core/Session.h"

#include "net/AddressResolution.h"
#include "ui/Controls.h"
#include "ui/Tloginform.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <vector>

namespace {

using StartupRetry = MainFormFixture;

// Each login attempt finds the server again while it has not been found; once found it is
// kept. What the resolution gives in turn is the case's list.
TEST_F(StartupRetry, AFailedResolutionIsTriedAgainAtTheNextLoginAttempt)
{
    const std::string noAnswer = "domain is wrong.";
    const struct
    {
        const char* what;
        std::vector<std::string> found; // at start-up, then at each attempt
        int attempts;
        bool loggedIn;
        int resolutions;
    } cases[] = {
        {"found at start-up", {"127.0.0.1"}, 1, true, 1},
        {"back by the first attempt", {noAnswer, "127.0.0.1"}, 1, true, 2},
        {"back by the second attempt", {noAnswer, kNoAddress, "127.0.0.1"}, 2, true, 3},
        {"still missing", {noAnswer, noAnswer}, 1, false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const LogCapture log;
        m_fake.prompts.entries.clear();
        std::size_t next = 0;
        TLoginForm form(nullptr, TLoginForm::StartupMode, m_session, *m_db, m_settings, m_platform,
                        [&](Session& session, const Settings&) {
                            session.ServerAddress =
                                c.found.at(std::min(next++, c.found.size() - 1));
                        });
        form.Controls().Edit1->setText("demo");
        form.Controls().Edit2->setText("demo123");
        for (int i = 0; i < c.attempts; ++i)
            form.SpeedButton1Click();

        EXPECT_EQ(form.result() == QDialog::Accepted, c.loggedIn);
        EXPECT_EQ(static_cast<int>(next), c.resolutions);
        if (!c.loggedIn) {
            EXPECT_EQ(m_fake.prompts.Texts().last(), "连接服务器失败，请稍后重新登录。");
            EXPECT_FALSE(m_db->Connected);
        }
        // A failure text is no host to connect to.
        EXPECT_FALSE(LogCapture::Text().contains("cannot connect to domain"))
            << LogCapture::Text().toStdString();
    }
}

// zumalo-server stopped (SIGSTOP): its ports take connections and never answer. The login
// dialog and the main window each wait for their fetches only the start-up's bound (2 s
// here), not 10 s a fetch, the log says why no address was found, and the main window shows
// no design text meanwhile.
TEST_F(StartupRetry, AHungServerHoldsEachStartUpStepOnlyItsBound)
{
    ServerProcess server;
    ASSERT_TRUE(server.ready()) << server.output().toStdString();
    ASSERT_EQ(::kill(static_cast<pid_t>(server.pid()), SIGSTOP), 0);
    m_settings.startupFetchSeconds = 2;
    m_settings.httpTimeoutSeconds = 10;
    m_settings.webTimeoutSeconds = 10;
    m_settings.httpPort = server.httpPort;
    m_settings.lookupHost = "127.0.0.1:" + std::to_string(server.webPort);
    m_settings.weatherHost = m_settings.lookupHost;
    m_settings.serverHostUrl = "http://zumalo.invalid";
    m_settings.serverHostName = "zumalo.invalid";
    m_settings.probeProgram = "/nonexistent/test.dat";

    {
        // The real resolution: the lookup page hangs, the probe is missing.
        const LogCapture log;
        QElapsedTimer built;
        built.start();
        const TLoginForm form(nullptr, TLoginForm::StartupMode, m_session, *m_db, m_settings,
                              m_platform);
        EXPECT_LT(built.elapsed(), 4000);
        EXPECT_FALSE(IsServerAddress(m_session.ServerAddress));
        const QString logged = LogCapture::Text();
        EXPECT_TRUE(logged.contains("the lookup page on 127.0.0.1:")) << logged.toStdString();
        EXPECT_TRUE(logged.contains("could not be started")) << logged.toStdString();
        EXPECT_TRUE(logged.contains("was not found")) << logged.toStdString();
    }

    // The main window: banners, link page and temperature from the hung server.
    m_session.ServerAddress = "127.0.0.1";
    struct FirstSight : QObject
    {
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Show && memo.isNull()) {
                const auto* form = static_cast<TMainForm*>(watched);
                memo = FindControl<QPlainTextEdit>(*form, "Memo1")->toPlainText();
                label = FindControl<QLabel>(*form, "Label1")->text();
            }
            return false;
        }
        QString memo;
        QString label;
    } firstSight;
    QElapsedTimer started;
    started.start();
    TMainForm& form = Start([this, &firstSight](TMainForm& window) {
        window.installEventFilter(&firstSight);
        return LoginAs("demo", "demo123")(window);
    });
    EXPECT_LT(started.elapsed(), 4000);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(firstSight.memo, "");
    EXPECT_EQ(firstSight.label, "");
    EXPECT_TRUE(Label("Label1")->text().startsWith("当天温度"));

    ::kill(static_cast<pid_t>(server.pid()), SIGCONT);
}

} // namespace
