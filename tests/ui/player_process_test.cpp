// The movie player runs in a process of its own: what ends it, what it reports when it
// cannot run, and the pace its downloads must keep.

#include "core/Settings.h"
#include "platform/RufflePlayer.h"

#include "Movies.h"
#include "Wait.h"

#include <QWidget>

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <memory>
#include <thread>

#include <signal.h>
#include <sys/stat.h>

namespace {

// The player's process starts the web engine: on a busy machine that takes seconds.
constexpr int kPlayerWaitMs = 30000;

bool ProcessRuns(qint64 pid)
{
    struct stat info
    {
    };
    return pid > 0 && ::stat(("/proc/" + std::to_string(pid)).c_str(), &info) == 0;
}

// Records what a player reports.
struct Reports
{
    Q_DISABLE_COPY_MOVE(Reports)
    explicit Reports(RufflePlayer& player)
    {
        QObject::connect(&player, &RufflePlayer::loaded, [this] { ++loaded; });
        QObject::connect(&player, &RufflePlayer::failed,
                         [this](const QString& reason) { failures << reason; });
    }
    bool Any() const { return loaded > 0 || !failures.isEmpty(); }
    int loaded = 0;
    QStringList failures;
};

RufflePlayer::Options PlayerOptions(const Settings& settings = Settings::Defaults())
{
    return RufflePlayer::Options::From(QStringLiteral(ZUMALO_TEST_BIN_DIR), settings);
}

TEST(PlayerProcess, EndsWithItsWindowAndReportsWhenItCannotRun)
{
    QWidget window;
    {
        // Closing the window ends the player: its memory goes with it.
        auto player = std::make_unique<RufflePlayer>(&window, PlayerOptions());
        const qint64 pid = player->ProcessId();
        ASSERT_TRUE(ProcessRuns(pid));
        player.reset();
        EXPECT_TRUE(WaitUntil([pid] { return !ProcessRuns(pid); }, 10000));
    }
    {
        // A player that dies is reported with how it ended, not waited for, and its area says
        // so in the window's language. A window opened again gets a player that runs.
        const struct
        {
            int signal;
            const char* reason;
        } ends[] = {{SIGKILL, "the player stopped: killed by signal 9"},
                    {SIGTERM, "the player stopped: killed by signal 15"}};
        for (const auto& end : ends) {
            SCOPED_TRACE(end.signal);
            RufflePlayer player(&window, PlayerOptions());
            Reports reports(player);
            ASSERT_TRUE(ProcessRuns(player.ProcessId()));
            EXPECT_EQ(player.Message(), "");
            ::kill(static_cast<pid_t>(player.ProcessId()), end.signal);
            ASSERT_TRUE(WaitUntil([&] { return reports.Any(); }, kPlayerWaitMs));
            ASSERT_EQ(reports.failures.size(), 1);
            EXPECT_TRUE(reports.failures.first().startsWith(end.reason))
                << reports.failures.first().toStdString();
            EXPECT_EQ(player.Message(), "视频播放器已停止运行，请关闭窗口后重新打开。");
        }
        RufflePlayer reopened(&window, PlayerOptions());
        EXPECT_TRUE(ProcessRuns(reopened.ProcessId()));
        EXPECT_EQ(reopened.Message(), "");
    }
    {
        // Without its page the player reports the load as failed, and every later one.
        RufflePlayer::Options options = PlayerOptions();
        options.page = QStringLiteral(ZUMALO_TEST_BIN_DIR "/player/no-such-page.html");
        RufflePlayer player(&window, options);
        Reports reports(player);
        const auto pageFailed = [&] {
            return reports.failures.filter("no-such-page.html could not be loaded").size() == 1;
        };
        player.LoadMovie(0, QStringLiteral("http://127.0.0.1:1/a.swf"));
        ASSERT_TRUE(WaitUntil(pageFailed, kPlayerWaitMs))
            << reports.failures.join(u'\n').toStdString();
        reports.failures.clear();
        player.LoadMovie(0, QStringLiteral("http://127.0.0.1:1/b.swf"));
        ASSERT_TRUE(WaitUntil([&] { return reports.Any(); }, kPlayerWaitMs));
        EXPECT_TRUE(pageFailed()) << reports.failures.join(u'\n').toStdString();
        EXPECT_EQ(reports.failures.size(), 1);
        EXPECT_EQ(reports.loaded, 0);
    }
    {
        // A missing player program is a failure to show, and calls on it go nowhere.
        RufflePlayer::Options options = PlayerOptions();
        options.program = QStringLiteral(ZUMALO_TEST_BIN_DIR "/no-such-player");
        RufflePlayer player(&window, options);
        Reports reports(player);
        player.LoadMovie(0, QStringLiteral("http://127.0.0.1:1/a.swf"));
        player.Play();
        ASSERT_TRUE(WaitUntil([&] { return reports.Any(); }, kPlayerWaitMs));
        ASSERT_EQ(reports.failures.size(), 1);
        EXPECT_TRUE(reports.failures.first().startsWith("the player"))
            << reports.failures.first().toStdString();
        EXPECT_NE(player.Widget(), nullptr);
    }
}

// A movie download has no bound in total: a steady one that takes longer than the low-speed
// window loads, one that trickles below the pace ends with the reason.
TEST(PlayerProcess, MovieDownloadsEndOnlyWhenTheyTrickle)
{
    const std::string movie = SampleMovie("rainbow.swf");
    ASSERT_GT(movie.size(), 8000u);
    httplib::Server server;
    server.Get("/steady.swf", [&movie](const httplib::Request&, httplib::Response& res) {
        // 1.5 KB every quarter second: about 2 s in all, well above 1 KB a second.
        auto sent = std::make_shared<std::size_t>(0);
        res.set_chunked_content_provider(
            "application/x-shockwave-flash", [&movie, sent](std::size_t, httplib::DataSink& sink) {
                if (*sent >= movie.size()) {
                    sink.done();
                    return true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
                const std::size_t piece = std::min<std::size_t>(1536, movie.size() - *sent);
                *sent += piece;
                return sink.write(movie.data() + *sent - piece, piece);
            });
    });
    server.Get("/slow.swf", [](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider(
            "application/x-shockwave-flash", [](std::size_t, httplib::DataSink& sink) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                return sink.write("F", 1);
            });
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&server] { server.listen_after_bind(); });
    const auto url = [port](const char* path) {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(QString::fromLatin1(path));
    };

    QWidget window;
    Settings settings = Settings::Defaults();
    settings.downloadLowSpeedBytes = 1000;
    settings.downloadLowSpeedSeconds = 1;
    RufflePlayer player(&window, PlayerOptions(settings));
    Reports reports(player);
    player.LoadMovie(0, url("/steady.swf"));
    player.Play();
    ASSERT_TRUE(WaitUntil([&] { return reports.Any(); }, kPlayerWaitMs));
    EXPECT_EQ(reports.loaded, 1) << reports.failures.join(u'\n').toStdString();

    reports.loaded = 0;
    player.LoadMovie(0, url("/slow.swf"));
    ASSERT_TRUE(WaitUntil([&] { return reports.Any(); }, kPlayerWaitMs));
    ASSERT_EQ(reports.failures.size(), 1);
    EXPECT_TRUE(reports.failures.first().contains("slower than 1000 bytes a second"))
        << reports.failures.first().toStdString();
    EXPECT_FALSE(player.IsLoaded());
    // The user reads why in the window's language, not the reason for the log.
    EXPECT_EQ(player.Message(), "视频加载失败，请关闭窗口后重新打开。");

    server.stop();
    thread.join();
}

// A movie on its way says so in the player's area until it shows; one that fails says that
// instead.
TEST(PlayerProcess, LoadingMovieSaysSoUntilItShows)
{
    const std::string movie = SampleMovie("rainbow.swf");
    httplib::Server server;
    server.Get("/late.swf", [&movie](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        res.set_content(movie, "application/x-shockwave-flash");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&server] { server.listen_after_bind(); });

    QWidget window;
    RufflePlayer player(&window, PlayerOptions());
    Reports reports(player);
    EXPECT_EQ(player.Message(), "");
    player.LoadMovie(0, QStringLiteral("http://127.0.0.1:%1/late.swf").arg(port));
    player.Play();
    const QString loading = QStringLiteral("正在加载视频，请稍候……");
    EXPECT_EQ(player.Message(), loading);
    WaitUntil([] { return false; }, 1000);
    EXPECT_EQ(player.Message(), loading);
    ASSERT_TRUE(WaitUntil([&] { return reports.Any(); }, kPlayerWaitMs));
    EXPECT_EQ(reports.loaded, 1) << reports.failures.join(u'\n').toStdString();
    EXPECT_EQ(player.Message(), "");

    reports.loaded = 0;
    player.LoadMovie(0, QStringLiteral("http://127.0.0.1:%1/missing.swf").arg(port));
    EXPECT_EQ(player.Message(), loading);
    ASSERT_TRUE(WaitUntil([&] { return reports.Any(); }, kPlayerWaitMs));
    EXPECT_EQ(player.Message(), "视频加载失败，请关闭窗口后重新打开。");

    server.stop();
    thread.join();
}

} // namespace
