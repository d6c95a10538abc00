// zumalo's command line: it takes no options, but answers --help and --version without a
// display and without opening a window, and says in one line why it cannot start without one.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(ClientCommandLine, AnswersWithoutADisplayAndIgnoresTheRest)
{
    const struct
    {
        const char* what;
        QStringList args;
        const char* platform; // QT_QPA_PLATFORM, "" for none
        const char* display;  // DISPLAY, "" for none
        int exitCode;
        const char* out;
        const char* err;
    } cases[] = {
        // Offscreen, the client would open its login dialog and wait: these must not.
        {"help", {"--help"}, "offscreen", "", 0, "Usage: zumalo\n", ""},
        {"version", {"--version"}, "offscreen", "", 0, "zumalo 0.", ""},
        {"version after another argument", {"-x", "--version"}, "", "", 0, "zumalo 0.", ""},
        {"no display", {}, "", "", 1, "", "zumalo: no display"},
        {"other arguments are ignored",
         {"--frobnicate", "-h"},
         "",
         "",
         1,
         "",
         "zumalo: no display"},
        {"a display that is not there",
         {},
         "",
         ":99999",
         1,
         "",
         "cannot open the display \":99999\""},
    };
    for (const auto& c : cases) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            environment.remove(QString::fromLatin1(name));
        if (*c.platform)
            environment.insert("QT_QPA_PLATFORM", c.platform);
        if (*c.display)
            environment.insert("DISPLAY", c.display);
        QProcess client;
        client.setProcessEnvironment(environment);
        client.start(QStringLiteral(ZUMALO_TEST_BIN_DIR "/zumalo"), c.args);
        const bool finished = client.waitForFinished(5000);
        if (!finished)
            client.kill();
        ASSERT_TRUE(finished) << c.what << ": still running";
        const std::string out = client.readAllStandardOutput().toStdString();
        const std::string err = client.readAllStandardError().toStdString();
        EXPECT_EQ(client.exitStatus(), QProcess::NormalExit) << c.what << ": " << err;
        EXPECT_EQ(client.exitCode(), c.exitCode) << c.what << ": " << err;
        EXPECT_NE(out.find(c.out), std::string::npos) << c.what << ": " << out;
        if (*c.err) {
            EXPECT_NE(err.find(c.err), std::string::npos) << c.what << ": " << err;
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.what << ": " << err;
        } else {
            EXPECT_EQ(err, "") << c.what;
        }
    }
}

} // namespace
