#include "core/GbkText.h"
#include "db/DbSession.h"
#include "platform/RufflePlayer.h"
#include "ui/TextBridge.h"
#include "ui/Tflashform.h"

#include "DbAccounts.h"
#include "DialogFixture.h"
#include "Movies.h"
#include "TestHttpServer.h"
#include "Wait.h"

#include <QDialog>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// The player's process starts the web engine: on a busy machine that takes seconds.
constexpr int kPlayerWaitMs = 30000;

class FlashFormTest : public DialogFixture
{
protected:
    void SetUp() override
    {
        s_db->clear();
        ASSERT_TRUE(OpenAsProgram(m_db));
    }
};

const std::string kMovie = "http://127.0.0.1:1/sp/a.swf";

TEST_F(FlashFormTest, NormalModeCaptionsTheUploaderAndPlaysWithTheMenuOff)
{
    s_db->exec("INSERT INTO zumalo_sp(text, link, username, uploadtime) VALUES"
               " ('春天', 'x', 'bob', '2011-03-05 14:07:09'),"
               " ('同名', 'x', '先发', '2011-01-01 00:00:01'),"
               " ('同名', 'y', '后发', '2012-01-01 00:00:01'),"
               " ('Tom''s 片', 'x', '小雨', '2026-11-02 09:15:30'),"
               " ('视频测试效果', 'x', 'amy', '2013-04-05 06:07:08')");
    const struct
    {
        const char* title;
        const char* caption;
    } cases[] = {
        {"春天", "春天   【由bob发布于2011-03-05 14:07:09】"},
        // The first row the server returns names the uploader; the movie is the opener's.
        {"同名", "同名   【由先发发布于2011-01-01 00:00:01】"},
        {"Tom's 片", "Tom's 片   【由小雨发布于2026-11-02 09:15:30】"},
        // The window obeys its mode, whatever the title.
        {"视频测试效果", "视频测试效果   【由amy发布于2013-04-05 06:07:08】"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        m_fakes.movies.calls.clear();
        const TFlashForm form(nullptr, TFlashForm::Mode::Listed, Utf8ToGbk(c.title), kMovie, m_db,
                              m_platform);
        EXPECT_EQ(form.windowTitle(), QString::fromUtf8(c.caption));
        ASSERT_TRUE(form.MovieLoaded());
        EXPECT_EQ(
            m_fakes.movies.calls,
            QStringList({"SetMenu 0", "LoadMovie 0 " + QString::fromStdString(kMovie), "Play"}));
    }
    EXPECT_TRUE(m_fakes.prompts.entries.empty());
    EXPECT_EQ(m_fakes.movies.created, 4);
}

TEST_F(FlashFormTest, TestModeNeedsNoStatementAndLeavesTheMenuAlone)
{
    // Even a listed video of that title opens in test mode.
    s_db->exec("INSERT INTO zumalo_sp(text, link, username, uploadtime) VALUES"
               " ('视频测试效果', 'x', 'bob', '2011-03-05 14:07:09')");
    const long first = Questions();
    const long before = Questions();
    const long idle = before - first; // what one status read costs
    const std::string address = Utf8ToGbk(" http://127.0.0.1:1/测试.swf ");
    const TFlashForm form(nullptr, TFlashForm::Mode::Test, Utf8ToGbk("视频测试效果"), address, m_db,
                          m_platform);
    EXPECT_EQ(Questions() - before, idle);

    EXPECT_EQ(form.windowTitle(), QStringLiteral("正在测试视频效果"));
    EXPECT_EQ(m_fakes.movies.calls, QStringList({"LoadMovie 0 " + GbkToQ(address), "Play"}));
    EXPECT_TRUE(m_fakes.prompts.entries.empty());
}

// A row of the video list titled exactly like the test opens in test mode.
TEST(FlashFormMode, ListedTitleChoosesTheMode)
{
    const struct
    {
        const char* title;
        TFlashForm::Mode mode;
    } cases[] = {
        {"视频测试效果", TFlashForm::Mode::Test},
        {"视频测试效果 ", TFlashForm::Mode::Listed},
        {"春天", TFlashForm::Mode::Listed},
        {"", TFlashForm::Mode::Listed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(TFlashForm::ModeForListedTitle(Utf8ToGbk(c.title)), c.mode);
    }
}

TEST_F(FlashFormTest, FailedOrEmptyLookupWarnsAndLeavesTheWindowEmpty)
{
    DbSession closed{s_db->options()}; // the database gone: every statement fails
    const struct
    {
        const char* name;
        DbSession* db;
    } cases[] = {{"statement fails", &closed}, {"no such video", &m_db}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_fakes.prompts.entries.clear();
        const TFlashForm form(nullptr, TFlashForm::Mode::Listed, Utf8ToGbk("春天"), kMovie, *c.db,
                              m_platform);
        EXPECT_EQ(form.windowTitle(), QStringLiteral("FlashForm"));
        EXPECT_FALSE(form.MovieLoaded());
        ASSERT_EQ(m_fakes.prompts.entries.size(), 1u);
        EXPECT_EQ(m_fakes.prompts.Last().kind, FakePrompts::Kind::Warn);
        EXPECT_EQ(m_fakes.prompts.Last().text, QStringLiteral("获取视频用户信息失败。"));
        EXPECT_EQ(m_fakes.prompts.Last().owner, &form);
    }
    EXPECT_EQ(m_fakes.movies.created, 0);
    EXPECT_TRUE(m_fakes.movies.calls.isEmpty());
    // The result was released: the connection runs the next statement.
    EXPECT_TRUE(m_db.Query("select 1"));
}

TEST_F(FlashFormTest, WindowIsFixedModalAndCentredOverTheMainWindow)
{
    QWidget mainWindow;
    mainWindow.setGeometry(100, 80, 900, 700);
    QDialog uploadDialog(&mainWindow);
    uploadDialog.setGeometry(500, 500, 379, 205);
    const TFlashForm form(&uploadDialog, TFlashForm::Mode::Test, Utf8ToGbk("视频测试效果"), kMovie,
                          m_db, m_platform);

    EXPECT_TRUE(form.isModal());
    EXPECT_EQ(form.minimumSize(), QSize(677, 433));
    EXPECT_EQ(form.maximumSize(), QSize(677, 433));
    EXPECT_EQ(form.geometry().center(), mainWindow.geometry().center());
    QWidget* surface = form.ShockwaveFlash1()->Widget();
    EXPECT_EQ(surface->parentWidget(), &form);
    EXPECT_EQ(surface->geometry(), QRect(0, 0, 677, 434));
}

// ---------------------------------------------------------------- the real player

// A one-frame movie: the SWF 8 header (100 x 100 pixels, 12 frames a second), FileAttributes,
// a green SetBackgroundColor, ShowFrame and End.
std::string TinySwf()
{
    const unsigned char bytes[] = {'F',  'W',  'S',  8,    34,   0,    0,    0, // header
                                   0x60, 0x00, 0x3e, 0x80, 0x00, 0x3e, 0x80,    // frame size
                                   0x00, 0x0c, 0x01, 0x00,                      // rate, count
                                   0x44, 0x11, 0x00, 0x00, 0x00, 0x00,          // FileAttributes
                                   0x43, 0x02, 0x00, 0xa0, 0x50,                // background
                                   0x40, 0x00,                                  // ShowFrame
                                   0x00, 0x00};                                 // End
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// The movies on 127.0.0.1. Like the Flash hosts of the video list it sends no CORS headers,
// which a page loaded from a file would need to fetch from it.
class MovieServer
{
public:
    MovieServer()
    {
        m_server.Serve("/tiny.swf", TinySwf());
        m_server.Serve("/broken.swf", "<html>no movie here</html>");
        for (const char* name :
             {"bounce.swf", "rainbow.swf", "stars.swf", "spin.swf", "welcome.swf"})
            m_server.Serve(std::string("/") + name, SampleMovie(name));
    }
    QString Url(const std::string& name) const
    {
        return QStringLiteral("http://127.0.0.1:%1/%2")
            .arg(m_server.port())
            .arg(QString::fromStdString(name));
    }

private:
    TestHttpServer m_server;
};

TEST_F(FlashFormTest, RufflePlaysTheMovieAndEachSampleVideo)
{
    MovieServer server;
    RufflePlayerFactory factory(QStringLiteral(ZUMALO_TEST_BIN_DIR), Settings::Defaults());
    Platform platform{m_fakes.prompts, m_fakes.files, m_fakes.shell,
                      m_fakes.sound,   factory,       m_fakes.waits};
    s_db->exec("INSERT INTO zumalo_sp(text, link, username, uploadtime) VALUES"
               " ('春天', 'x', 'bob', '2011-03-05 14:07:09')");

    TFlashForm form(nullptr, TFlashForm::Mode::Listed, Utf8ToGbk("春天"),
                    server.Url("tiny.swf").toStdString(), m_db, platform);
    auto* player = dynamic_cast<RufflePlayer*>(form.ShockwaveFlash1());
    ASSERT_NE(player, nullptr);
    int loaded = 0;
    QStringList failures;
    QObject::connect(player, &RufflePlayer::loaded, [&] { ++loaded; });
    QObject::connect(player, &RufflePlayer::failed,
                     [&](const QString& reason) { failures << reason; });
    form.show();
    ASSERT_TRUE(WaitUntil([&] { return loaded > 0 || !failures.isEmpty(); }, kPlayerWaitMs))
        << "no word from the player";
    ASSERT_EQ(loaded, 1) << failures.join(u'\n').toStdString();
    EXPECT_TRUE(player->IsLoaded());
    EXPECT_FALSE(player->MenuOn());

    // A new movie replaces the shown one; every sample video of the list loads.
    for (const char* name : {"bounce.swf", "rainbow.swf", "stars.swf", "spin.swf", "welcome.swf"}) {
        SCOPED_TRACE(name);
        loaded = 0;
        player->LoadMovie(0, server.Url(name));
        EXPECT_FALSE(player->IsLoaded());
        ASSERT_TRUE(WaitUntil([&] { return loaded > 0 || !failures.isEmpty(); }, kPlayerWaitMs));
        ASSERT_EQ(loaded, 1) << failures.join(u'\n').toStdString();
        EXPECT_EQ(player->MovieUrl(), server.Url(name));
    }

    // What the server does not have, and what the player cannot read, is reported, not loaded.
    for (const char* name : {"missing.swf", "broken.swf"}) {
        SCOPED_TRACE(name);
        loaded = 0;
        failures.clear();
        player->LoadMovie(0, server.Url(name));
        ASSERT_TRUE(WaitUntil([&] { return !failures.isEmpty(); }, kPlayerWaitMs));
        EXPECT_EQ(loaded, 0);
        EXPECT_FALSE(player->IsLoaded());
    }
    // Movies come from the web only: a local file or another scheme is never read.
    for (const char* address :
         {"/etc/passwd", "file:///etc/passwd", "ftp://127.0.0.1/a.swf", "tiny.swf"}) {
        SCOPED_TRACE(address);
        loaded = 0;
        failures.clear();
        player->LoadMovie(0, QString::fromUtf8(address));
        ASSERT_TRUE(WaitUntil([&] { return !failures.isEmpty(); }, kPlayerWaitMs));
        EXPECT_TRUE(failures.first().startsWith("not a movie address"))
            << failures.first().toStdString();
        EXPECT_EQ(loaded, 0);
        EXPECT_FALSE(player->IsLoaded());
    }
    EXPECT_TRUE(m_fakes.prompts.entries.empty());
}

} // namespace
